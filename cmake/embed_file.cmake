# Writes OUTPUT, a C++ source defining `const unsigned char NAME[]` with the
# bytes of INPUT and `const unsigned long NAME_size`, in namespace lumo::server.
#   cmake -DINPUT=... -DOUTPUT=... -DNAME=... -P embed_file.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
       "\\1\n  " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Made from ${INPUT} at build time.\n"
  "namespace lumo::server {\n"
  "extern const unsigned char ${NAME}[];\nextern const unsigned long ${NAME}_size;\n"
  "const unsigned char ${NAME}[] = {\n  ${bytes}0};\n"
  "const unsigned long ${NAME}_size = ${size};\n}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
