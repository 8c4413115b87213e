// PNG files through the document.
#include "fuzz_driver.h"

PELMOR_IMAGE_FUZZER("png")
