"""The error every control call raises when it cannot be carried out."""


class ControlError(Exception):
    """A control request that cannot be carried out (answered with 400)."""
