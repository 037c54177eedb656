// LeakSanitizer suppressions of the mcl tests (read by LSan at start-up in sanitizer builds only).
//
// x264 since build 163 copies some parameter strings (x264_param_strdup) and expects its caller to free them
// with x264_param_cleanup; FFmpeg's libx264 wrapper in 5.1 (Debian 12) never calls it, so every opened x264
// encoder leaves about 140 bytes behind. Not ours to fix; everything else must stay leak-free.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx264.so\n";
}
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx264.so\n";
}
#endif
#endif
