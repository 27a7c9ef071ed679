# Writes the bytes of IN into OUT as the C++ array kDownloadPicture.
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(SIZE ${IN} size)
file(WRITE ${OUT} "// Made from assets/download.jpg by assets/embed.cmake.\n#include <cstddef>\nnamespace ombrix::windows {\nextern const unsigned char kDownloadPicture[] = {${bytes}};\nextern const size_t kDownloadPictureSize = ${size};\n}\n")
