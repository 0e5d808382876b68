# Turns the icon asset into the IconImage array: the file's bytes plus one
# trailing zero. Run as a script: cmake -DICON=... -DOUTPUT=... -P EmbedIcon.cmake
# The size the program expects is IconImageSize alone; the compiler holds
# the asset to it.
file(SIZE "${ICON}" icon_size)

file(READ "${ICON}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Sixteen bytes a line keeps the generated file readable in a diff.
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")

file(WRITE "${OUTPUT}.tmp"
"// Generated from the icon asset at build time; do not edit.
#include \"install/icon_image.h\"

unsigned char const IconImage[IconImageSize] = {
    ${bytes}0x00
};

static_assert(${icon_size} + 1 == IconImageSize, \"the icon asset is not the size the program expects\");
")
# Leave the output untouched when unchanged, so rebuilds stay incremental.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
