// TIFF files through the document: directories, tags, every strip compression, page stepping.
#include "fuzz_driver.h"

PELMOR_IMAGE_FUZZER("tif")
