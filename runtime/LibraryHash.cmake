# Writes LIBRARY.sha256 (the hex digest alone) beside LIBRARY: the runtime's
# loader names its cache folder by it, so it never hashes at run time.
file(SHA256 ${LIBRARY} digest)
file(WRITE ${LIBRARY}.sha256 "${digest}")
