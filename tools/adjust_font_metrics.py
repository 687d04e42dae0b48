#!/usr/bin/python3
"""Make the installer's two UI fonts from Nunito Regular and SemiBold.

The layout was drawn for a rounded face with 2048 units per em, an ascender of
1950 units and a descender of 494 units. Nunito's own vertical metrics
(1000 units per em, ascent 1011, descent 353) make its text about 13% smaller
at the same JUCE font height (JUCE's height is ascent + descent). This script
rewrites only the vertical metrics (hhea ascent/descent/lineGap, OS/2 typo and
win ascent/descent/lineGap) so that (ascent + descent) / unitsPerEm and
ascent / (ascent + descent) match the design face. Glyph outlines, advance
widths, names and every other table are left as they are. The SIL Open Font
License 1.1 permits this; Nunito declares no reserved font name.

Input: the npm package @expo-google-fonts/nunito 0.4.2, unpacked:

    mkdir /tmp/nunito && cd /tmp/nunito
    npm pack @expo-google-fonts/nunito@0.4.2 && tar xzf expo-google-fonts-nunito-0.4.2.tgz

Run with Debian's python (it needs python3-fonttools):

    /usr/bin/python3 tools/adjust_font_metrics.py /tmp/nunito/package resources

It writes SF-Pro-Rounded-Regular.otf, SF-Pro-Rounded-Semibold.otf and
OFL.txt into the output folder. The result is byte-identical on every run.
"""

import shutil
import sys
from pathlib import Path

from fontTools.ttLib import TTFont

# Vertical metrics of the face the layout was designed with.
DESIGN_UNITS_PER_EM = 2048
DESIGN_ASCENT = 1950
DESIGN_DESCENT = 494

FONTS = (
    ("400Regular/Nunito_400Regular.ttf", "SF-Pro-Rounded-Regular.otf"),
    ("600SemiBold/Nunito_600SemiBold.ttf", "SF-Pro-Rounded-Semibold.otf"),
)

LICENCE = ("LICENSE_FONT", "OFL.txt")


def scaled_metrics(units_per_em):
    """Ascent and descent (both positive) in this font's units."""
    ascent = round(DESIGN_ASCENT * units_per_em / DESIGN_UNITS_PER_EM)
    descent = round(DESIGN_DESCENT * units_per_em / DESIGN_UNITS_PER_EM)
    return ascent, descent


def adjust(source, destination):
    # Keep the original time stamps and bounding boxes: nothing but the
    # vertical metrics changes, and the output must be reproducible.
    font = TTFont(str(source), recalcBBoxes=False, recalcTimestamp=False)
    units_per_em = font["head"].unitsPerEm
    ascent, descent = scaled_metrics(units_per_em)

    hhea = font["hhea"]
    hhea.ascent = ascent
    hhea.descent = -descent
    hhea.lineGap = 0

    os2 = font["OS/2"]
    os2.sTypoAscender = ascent
    os2.sTypoDescender = -descent
    os2.sTypoLineGap = 0
    os2.usWinAscent = ascent
    os2.usWinDescent = descent

    font.save(str(destination), reorderTables=True)

    height = (ascent + descent) / units_per_em
    print(f"{destination.name}: unitsPerEm {units_per_em}, ascent {ascent}, descent {descent}, "
          f"height/em {height:.4f} (design {(DESIGN_ASCENT + DESIGN_DESCENT) / DESIGN_UNITS_PER_EM:.4f}), "
          f"ascent share {ascent / (ascent + descent):.4f} "
          f"(design {DESIGN_ASCENT / (DESIGN_ASCENT + DESIGN_DESCENT):.4f})")


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2

    package = Path(argv[1])
    out = Path(argv[2])

    missing = [name for name, _ in FONTS + (LICENCE,) if not (package / name).is_file()]
    if missing:
        print(f"not found in {package}: {', '.join(missing)}", file=sys.stderr)
        return 1

    out.mkdir(parents=True, exist_ok=True)

    for source, target in FONTS:
        adjust(package / source, out / target)

    shutil.copyfile(package / LICENCE[0], out / LICENCE[1])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
