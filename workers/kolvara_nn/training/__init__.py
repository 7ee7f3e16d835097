"""Training support for trainNN.py: arguments, data, augmentation, losses,
optimizers, progress output, prediction file and metrics image."""
