# Writes a text file into a C++ source as one raw string: -DIN, -DOUT, -DNAMESPACE, -DSYMBOL.
file(READ "${IN}" CONTENT)
file(WRITE "${OUT}" "namespace ${NAMESPACE} {\nextern const char ${SYMBOL}[];\nconst char ${SYMBOL}[] = R\"VSFTXT(${CONTENT})VSFTXT\";\n}\n")
