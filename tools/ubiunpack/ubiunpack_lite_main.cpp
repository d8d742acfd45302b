// ubiunpack-lite in_file out_file
//
// Writes the data areas of the raw UBI image in_file, from the squashfs image's
// first byte to the end of the input, to out_file.
#include "unubinize.h"

int main(int argc, char** argv) { return unubinize::run(argc, argv, unubinize::Variant::kToEnd); }
