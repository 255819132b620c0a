"""Pillow's side of the image file tests.

  image_tool.py source WIDTH HEIGHT OUT.pam      the test picture, 16-bit RGBA (for ImageMagick to encode)
  image_tool.py write KIND WIDTH HEIGHT OUT      the test picture written by Pillow as KIND
  image_tool.py decode IN OUT.raw                a file decoded by Pillow: RGBA, 16-bit little-endian samples

The picture varies every channel with x and y, so swapped, shifted or
repeated rows and columns all show.
"""
import sys

from PIL import Image


def sample(x, y, channel):
    """One 16-bit sample of the test picture."""
    return (
        (x * 5021 + y * 1237) & 0xFFFF,
        (y * 9001 + x * 311) & 0xFFFF,
        (x * y * 2711 + x * 97 + 7) & 0xFFFF,
        (20000 + x * 3001 + y * 4099) & 0xFFFF,
    )[channel]


def write_source(width, height, path):
    out = bytearray(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n" % (width, height))
    for y in range(height):
        for x in range(width):
            for c in range(4):
                out += sample(x, y, c).to_bytes(2, "big")
    with open(path, "wb") as f:
        f.write(out)


def picture(width, height):
    image = Image.new("RGBA", (width, height))
    image.putdata([tuple(sample(x, y, c) >> 8 for c in range(4)) for y in range(height) for x in range(width)])
    return image


def grey16(width, height):
    image = Image.new("I", (width, height))
    image.putdata([sample(x, y, 0) for y in range(height) for x in range(width)])
    return image.convert("I;16")


def write(kind, width, height, path):
    rgba = picture(width, height)
    rgb = rgba.convert("RGB")
    first = rgb.getpixel((0, 0))
    writers = {
        "bmp1": lambda: rgb.convert("1").save(path, "BMP"),
        "bmp8grey": lambda: rgb.convert("L").save(path, "BMP"),
        "bmp8": lambda: rgb.quantize(40).save(path, "BMP"),
        "bmp24": lambda: rgb.save(path, "BMP"),
        "bmp32": lambda: rgba.save(path, "BMP"),
        "png1": lambda: rgb.convert("1").save(path, "PNG"),
        "png2": lambda: rgb.quantize(4).save(path, "PNG", bits=2),
        "png4trns": lambda: rgb.quantize(16).save(path, "PNG", bits=4, transparency=bytes([0, 128, 255, 30])),
        "png8greytrns": lambda: rgb.convert("L").save(path, "PNG", transparency=rgb.convert("L").getpixel((0, 0))),
        "png8rgbtrns": lambda: rgb.save(path, "PNG", transparency=first),
        "png16grey": lambda: grey16(width, height).save(path, "PNG"),
        "png8greyalpha": lambda: rgba.convert("LA").save(path, "PNG"),
        "png8rgba": lambda: rgba.save(path, "PNG"),
        "jpeg": lambda: rgb.save(path, "JPEG", quality=90),
        "jpeg444": lambda: rgb.save(path, "JPEG", quality=95, subsampling=0),
        "jpegprogressive": lambda: rgb.save(path, "JPEG", quality=85, progressive=True),
        "jpeggrey": lambda: rgb.convert("L").save(path, "JPEG", quality=90),
    }
    writers[kind]()


def decode(path, out_path):
    image = Image.open(path)
    image.load()
    out = bytearray()
    if image.mode in ("I", "I;16", "I;16B", "I;16L"):
        for v in image.getdata():
            out += (v.to_bytes(2, "little") * 3) + b"\xff\xff"
    else:
        for pixel in image.convert("RGBA").getdata():
            for v in pixel:
                out += (v * 257).to_bytes(2, "little")
    with open(out_path, "wb") as f:
        f.write(out)


def main(argv):
    if argv[1] == "source":
        write_source(int(argv[2]), int(argv[3]), argv[4])
    elif argv[1] == "write":
        write(argv[2], int(argv[3]), int(argv[4]), argv[5])
    elif argv[1] == "decode":
        decode(argv[2], argv[3])
    else:
        sys.exit("unknown command " + argv[1])


if __name__ == "__main__":
    main(sys.argv)
