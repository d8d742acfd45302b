// ubiunpack in_file out_file
//
// Writes the squashfs image carried by the raw UBI image in_file to out_file,
// exactly bytes_used bytes of it, and fails unless the blocks carry them all.
#include "unubinize.h"

int main(int argc, char** argv) { return unubinize::run(argc, argv, unubinize::Variant::kExact); }
