# Writes the message catalogue into a C++ source as one raw string.
file(READ "${IN}" CONTENT)
file(WRITE "${OUT}" "namespace vsf::host {\nextern const char kMessageCatalogue[];\nconst char kMessageCatalogue[] = R\"VSFMSG(${CONTENT})VSFMSG\";\n}\n")
