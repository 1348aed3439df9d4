#!/usr/bin/env python3
"""Writes the default loading movie: a zlib-compressed SWF (format version 11, ActionScript 1/2) showing a bar
whose width follows the movie variable "ZeltoLoaderProgress", a fraction from 0 to 1 the loader sets every tick.

Usage: make-loading-movie.py OUTPUT

Python rather than a C++ tool: the movie is made on the build machine for every preset, and a cross build for
Windows has no native compiler configured to build a generator with.
"""

import struct
import sys
import zlib

TWIPS = 20  # per pixel
STAGE_WIDTH, STAGE_HEIGHT = 400, 300
FRAME_RATE = 24
BACKGROUND = (0x10, 0x14, 0x1C)
FRAME_COLOUR = (0xC8, 0xD0, 0xDC)
FILL_COLOUR = (0x3C, 0x96, 0xE6)
FRAME_LINE_WIDTH = 2
BAR_LEFT, BAR_TOP, BAR_WIDTH, BAR_HEIGHT = 50, 140, 300, 20
BAR_INSET = 3  # between the frame's line and the fill
PROGRESS_VARIABLE = "ZeltoLoaderProgress"
BAR_INSTANCE = "bar"

# Tag codes
END, SHOW_FRAME, DEFINE_SHAPE, SET_BACKGROUND_COLOR, DO_ACTION = 0, 1, 2, 9, 12
PLACE_OBJECT2, DEFINE_SPRITE, FILE_ATTRIBUTES = 26, 39, 69

# Action codes
ACTION_END, ACTION_PLAY, ACTION_MULTIPLY, ACTION_GET_VARIABLE = 0x00, 0x06, 0x0C, 0x1C
ACTION_SET_PROPERTY, ACTION_TO_NUMBER, ACTION_GOTO_FRAME, ACTION_PUSH = 0x23, 0x4A, 0x81, 0x96
PUSH_STRING, PUSH_INTEGER = 0, 7
PROPERTY_XSCALE = 2


class Bits:
    """Bit fields, most significant bit first, padded to a whole byte at the end."""

    def __init__(self):
        self.bits = []

    def unsigned(self, value, count):
        assert 0 <= value < (1 << count)
        self.bits += [(value >> (count - 1 - i)) & 1 for i in range(count)]
        return self

    def signed(self, value, count):
        assert -(1 << (count - 1)) <= value < (1 << (count - 1))
        return self.unsigned(value & ((1 << count) - 1), count)

    def bytes(self):
        padded = self.bits + [0] * (-len(self.bits) % 8)
        return bytes(int("".join(map(str, padded[i : i + 8])), 2) for i in range(0, len(padded), 8))


def signed_bits(*values):
    """The field width that holds every value as a signed number."""
    return max(max(v.bit_length() for v in values) + 1, 1)


def rect(x_min, x_max, y_min, y_max):
    count = signed_bits(x_min, x_max, y_min, y_max)
    fields = Bits().unsigned(count, 5)
    for value in (x_min, x_max, y_min, y_max):
        fields.signed(value, count)
    return fields.bytes()


def matrix(translate_x, translate_y, scale_x):
    """Scale along x as a 16.16 fraction, none along y, no rotation."""
    fields = Bits().unsigned(1, 1)
    scales = (scale_x, 1 << 16)
    scale_count = signed_bits(*scales)
    fields.unsigned(scale_count, 5)
    for value in scales:
        fields.signed(value, scale_count)
    fields.unsigned(0, 1)
    count = signed_bits(translate_x, translate_y)
    fields.unsigned(count, 5).signed(translate_x, count).signed(translate_y, count)
    return fields.bytes()


def tag(code, body=b""):
    # The short header holds lengths up to 62; 63 there announces a 32-bit length.
    if len(body) < 0x3F:
        return struct.pack("<H", code << 6 | len(body)) + body
    return struct.pack("<HI", code << 6 | 0x3F, len(body)) + body


def rgb(colour):
    return bytes(colour)


def rectangle_shape(shape_id, width, height, fill=None, line=None):
    """A closed rectangle from (0, 0), drawn clockwise: a solid fill on its right-hand side, or an outline."""
    half_line = line[0] // 2 if line else 0
    body = struct.pack("<H", shape_id) + rect(-half_line, width + half_line, -half_line, height + half_line)
    body += bytes([1, 0x00]) + rgb(fill) if fill else bytes([0])
    body += bytes([1]) + struct.pack("<H", line[0]) + rgb(line[1]) if line else bytes([0])
    fill_bits, line_bits = (1 if fill else 0), (1 if line else 0)
    records = Bits().unsigned(fill_bits, 4).unsigned(line_bits, 4)
    # Style change: choose the styles, start at the origin.
    records.unsigned(0, 1).unsigned(0, 1).unsigned(line_bits, 1).unsigned(fill_bits, 1).unsigned(0, 1)
    records.unsigned(0, 1)
    if fill:
        records.unsigned(1, fill_bits)
    if line:
        records.unsigned(1, line_bits)
    for dx, dy in ((width, 0), (0, height), (-width, 0), (0, -height)):
        count = signed_bits(dx, dy)
        records.unsigned(1, 1).unsigned(1, 1).unsigned(count - 2, 4).unsigned(0, 1)
        records.unsigned(1 if dy else 0, 1).signed(dy or dx, count)
    records.unsigned(0, 6)  # end of shape
    return tag(DEFINE_SHAPE, body + records.bytes())


def place(depth, character, transform, name=None):
    flags = 0x02 | 0x04 | (0x20 if name else 0)  # character, matrix, name
    body = struct.pack("<BHH", flags, depth, character) + transform
    if name:
        body += name.encode("ascii") + b"\0"
    return tag(PLACE_OBJECT2, body)


def push(*values):
    items = b""
    for value in values:
        if isinstance(value, str):
            items += bytes([PUSH_STRING]) + value.encode("ascii") + b"\0"
        else:
            items += bytes([PUSH_INTEGER]) + struct.pack("<I", value)
    return struct.pack("<BH", ACTION_PUSH, len(items)) + items


def do_action(*actions):
    return tag(DO_ACTION, b"".join(actions) + bytes([ACTION_END]))


def movie():
    fill_shape, frame_shape, bar_sprite = 1, 2, 3
    left, top = BAR_LEFT * TWIPS, BAR_TOP * TWIPS
    inset = BAR_INSET * TWIPS
    fill_width, fill_height = (BAR_WIDTH - 2 * BAR_INSET) * TWIPS, (BAR_HEIGHT - 2 * BAR_INSET) * TWIPS

    # _xscale = Number(ZeltoLoaderProgress) * 100; a missing variable gives NaN, which the player refuses.
    show_progress = (
        push(BAR_INSTANCE, PROPERTY_XSCALE, PROGRESS_VARIABLE)
        + bytes([ACTION_GET_VARIABLE, ACTION_TO_NUMBER])
        + push(100)
        + bytes([ACTION_MULTIPLY, ACTION_SET_PROPERTY])
    )
    # The second frame returns to the first, so its action runs again on every other frame.
    back_to_first_frame = struct.pack("<BHH", ACTION_GOTO_FRAME, 2, 0) + bytes([ACTION_PLAY])

    sprite = struct.pack("<HH", bar_sprite, 1)
    sprite += place(1, fill_shape, matrix(0, 0, 1 << 16)) + tag(SHOW_FRAME) + tag(END)
    tags = [
        tag(FILE_ATTRIBUTES, bytes(4)),  # ActionScript 1/2, local file access
        tag(SET_BACKGROUND_COLOR, rgb(BACKGROUND)),
        rectangle_shape(fill_shape, fill_width, fill_height, fill=FILL_COLOUR),
        rectangle_shape(frame_shape, BAR_WIDTH * TWIPS, BAR_HEIGHT * TWIPS,
                        line=(FRAME_LINE_WIDTH * TWIPS, FRAME_COLOUR)),
        tag(DEFINE_SPRITE, sprite),
        place(1, frame_shape, matrix(left, top, 1 << 16)),
        place(2, bar_sprite, matrix(left + inset, top + inset, 0), BAR_INSTANCE),  # empty until told
        do_action(show_progress),
        tag(SHOW_FRAME),
        do_action(show_progress, back_to_first_frame),
        tag(SHOW_FRAME),
        tag(END),
    ]
    frames = 2
    body = rect(0, STAGE_WIDTH * TWIPS, 0, STAGE_HEIGHT * TWIPS) + struct.pack("<HH", FRAME_RATE << 8, frames)
    body += b"".join(tags)
    return b"CWS" + struct.pack("<BI", 11, 8 + len(body)) + zlib.compress(body, 9)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as output:
        output.write(movie())


if __name__ == "__main__":
    main()
