// JPEG files through the document (libjpeg underneath, our error manager and row handling).
#include "fuzz_driver.h"

PELMOR_IMAGE_FUZZER("jpg")
