"""The one error type the workers report to the user."""


class ModelError(Exception):
    """A problem with a model document, model file or its data.

    The message is one line that names the layer, file or column concerned; scripts print it
    as `<script>: <message>` on standard error and exit with status 1.
    """
