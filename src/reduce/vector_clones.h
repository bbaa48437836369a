#pragma once
// VUX_VECTOR_CLONES before an element loop builds it twice on x86-64: for
// AVX2 and for any processor, chosen once at the first call. Only for loops
// whose every step is an IEEE operation that rounds alike in any vector width
// (no fused multiply-add is ever formed), so both give the same bits. Empty
// under ThreadSanitizer: the loader runs the clones' chooser before the
// sanitizer's runtime is up, and the instrumented chooser crashes it.

#if defined(__SANITIZE_THREAD__)
#define VUX_NO_CLONES 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VUX_NO_CLONES 1
#endif
#endif
#if defined(__x86_64__) && !defined(VUX_NO_CLONES)
#define VUX_VECTOR_CLONES [[gnu::target_clones("avx2", "default")]]
#else
#define VUX_VECTOR_CLONES
#endif
