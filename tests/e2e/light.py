"""How lit and how coloured an area of a screenshot is: the one measure the end-to-end tests use
to tell the scene from a black screen or a bare output. Pixels are sampled on a grid, `step`
apart, which is plenty for a scene of large shapes and keeps a screenshot's check quick."""
from dataclasses import dataclass

# A channel above this makes a pixel lit: the background is black, and the scene's darkest
# drawn parts (a floor tile fading into its border) are well above it.
LIT = 40


@dataclass
class Light:
    samples: int      # pixels sampled
    lit: float        # share of them brighter than the threshold
    saturated: float  # share that is lit in a strong colour: no channel above a quarter of the brightest
    colours: int      # distinct colours among the lit ones, four levels a channel
    brightest: int    # highest channel value sampled
    box: tuple        # (x0, y0, x1, y1) around the lit samples; None when none is lit


def light(image, area=None, step=8, threshold=LIT):
    """How lit `area` (x, y, width, height; the whole image when None) of an image is. The
    area is clipped to the image; samples start half a step in from its corner."""
    x, y, width, height = area or (0, 0, image.width, image.height)
    x0, y0 = max(x, 0), max(y, 0)
    x1, y1 = min(x + width, image.width), min(y + height, image.height)
    samples = lit = saturated = brightest = 0
    colours, xs, ys = set(), [], []
    for sy in range(y0 + min(step // 2, (y1 - y0 - 1) // 2), y1, step):
        for sx in range(x0 + min(step // 2, (x1 - x0 - 1) // 2), x1, step):
            r, g, b = image.pixel(sx, sy)
            top = max(r, g, b)
            samples += 1
            brightest = max(brightest, top)
            if top > threshold:
                lit += 1
                saturated += min(r, g, b) <= top / 4
                colours.add((r // 64, g // 64, b // 64))
                xs.append(sx)
                ys.append(sy)
    share = (lambda count: count / samples) if samples else (lambda count: 0.0)
    box = (min(xs), min(ys), max(xs), max(ys)) if xs else None
    return Light(samples, share(lit), share(saturated), len(colours), brightest, box)


def brightest_anywhere(image, area):
    """The brightest channel value of every pixel in the (x, y, width, height) area, none
    skipped: a stippled root lights only one pixel in four, which a sampling grid can miss."""
    x, y, width, height = area
    rows = (image.data[(row * image.width + x) * 3:(row * image.width + x + width) * 3] for row in range(y, y + height))
    return max(max(row) for row in rows)


def scene_drawn(image):
    """The lit floor fills much of the lower third with many colours; a bare output or a black
    cover has none."""
    floor = light(image, (0, image.height * 2 // 3, image.width, image.height - image.height * 2 // 3))
    return floor.lit > 1 / 3 and floor.colours >= 6
