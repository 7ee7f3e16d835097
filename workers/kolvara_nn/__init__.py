"""Shared code of the Kolvara worker scripts: Keras documents and files, PyTorch networks."""
