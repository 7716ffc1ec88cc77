"""Colours in screenshots of the effects, on every desktop."""

VEIL_ALPHA = 102  # the spotlight's 40 % black
LENS_ZOOM = 2


def close(a, b, tolerance=6):
    """b is None where nothing known is shown."""
    return b is not None and all(abs(p - q) <= tolerance for p, q in zip(a, b))


def dimmed(rgb):
    return tuple((v * (255 - VEIL_ALPHA) + 127) // 255 for v in rgb)
