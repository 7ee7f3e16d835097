"""Which Keras classes a document may hold."""

# Layer classes the network builder knows (kept here so that reading and checking a
# document does not need torch).
SUPPORTED_CLASSES = frozenset((
    "InputLayer", "Conv2D", "SeparableConv2D", "DepthwiseConv2D", "ZeroPadding2D",
    "Cropping2D", "UpSampling2D", "BatchNormalization", "Activation",
    "ReLU", "LeakyReLU", "Softmax", "MaxPooling2D", "AveragePooling2D",
    "GlobalAveragePooling2D", "GlobalMaxPooling2D", "Dense", "Flatten", "Reshape", "Dropout",
    "SpatialDropout2D", "GaussianNoise", "GaussianDropout", "Add", "Subtract", "Multiply",
    "Average", "Maximum", "Minimum", "Concatenate", "Rescaling", "RandomFlip",
    "RandomRotation", "RandomZoom", "RandomTranslation", "RandomContrast",
))
# Layers that run code stored in the file.
REFUSED_CLASSES = frozenset(("Lambda", "TFOpLambda", "SlicingOpLambda"))
MODEL_CLASSES = frozenset(("Functional", "Model", "Sequential"))
