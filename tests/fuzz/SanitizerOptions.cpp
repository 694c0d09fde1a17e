// The address sanitizer's defaults for the fuzz targets that link this
// (ASAN_OPTIONS still overrides them). Its quarantine of freed memory holds
// 256 MB by default, counted in the bytes asked for while each block also
// carries its red zones and header: with thousands of inputs a second it is
// full within seconds, and the process then kept two to three times that.
// An input of these targets frees a few kilobytes; only a contrived TFTP one
// (hundreds of restarts of a 64 KiB image) comes near 32 MB, so 32 MB still
// catches a use after free within an input.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=32";
}
