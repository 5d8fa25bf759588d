// Zero-filled matrices and vectors: shape, zero fill, element width, refused
// requests, and that nothing is kept when a request fails.
#include "nrutil.h"

#include <gtest/gtest.h>

#include <malloc.h>
#ifdef _WIN32
#define malloc_usable_size _msize
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>

#if defined(__SANITIZE_ADDRESS__)
#define NRUTIL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NRUTIL_TEST_ASAN 1
#endif
#endif

#ifdef NRUTIL_TEST_ASAN
// A failed allocation must come back as null here, as it does without the
// sanitizer, and requests past 1 GiB are refused so the huge requests below
// fail the same way on every host.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
// Without the sanitizer this program stands in front of the C library's
// calloc and free, counting every request and every block still held: an
// exact measure of what a call asked for and what it kept, which heap
// statistics (blind to per-thread caches) are not.
// On Windows the linker sends calloc and free here instead (--wrap).
#ifdef _WIN32
#define NRUTIL_TEST_CALLOC __wrap_calloc
#define NRUTIL_TEST_FREE __wrap_free
#define NRUTIL_TEST_NOEXCEPT
#define __libc_calloc __real_calloc
#define __libc_free __real_free
#else
#define NRUTIL_TEST_CALLOC calloc
#define NRUTIL_TEST_FREE free
#define NRUTIL_TEST_NOEXCEPT noexcept
#endif
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void __libc_free(void* p);

namespace {
std::atomic<long> calloc_requests{0};
std::atomic<long> blocks_held{0};
}  // namespace

extern "C" void* NRUTIL_TEST_CALLOC(std::size_t count, std::size_t size) NRUTIL_TEST_NOEXCEPT {
    calloc_requests.fetch_add(1, std::memory_order_relaxed);
    void* p = __libc_calloc(count, size);
    if (p != nullptr) blocks_held.fetch_add(1, std::memory_order_relaxed);
    return p;
}

extern "C" void NRUTIL_TEST_FREE(void* p) NRUTIL_TEST_NOEXCEPT {
    if (p != nullptr) blocks_held.fetch_sub(1, std::memory_order_relaxed);
    __libc_free(p);
}
#endif

namespace {

// What has been asked of the allocator so far: calloc calls, or with the
// sanitizer the bytes handed out (which a zero-size request does not move).
long requests_so_far() {
#ifdef NRUTIL_TEST_ASAN
    return static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
    return calloc_requests.load(std::memory_order_relaxed);
#endif
}

// What is held now: blocks (counted from calloc and free alone, so only
// differences across a call of this module mean anything), or with the
// sanitizer the bytes in use; LeakSanitizer also checks at exit there.
[[maybe_unused]] long held_now() {  // unused on Windows
#ifdef NRUTIL_TEST_ASAN
    return static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
    return blocks_held.load(std::memory_order_relaxed);
#endif
}

bool all_bytes_zero(const void* p, std::size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Every element type, through one typed suite per shape. Each entry names
// the type and its two functions, so the list also pins every signature.

template <typename T, T** (*Alloc)(int, int), void (*Release)(T**, int)>
struct MatrixApi {
    using Elem = T;
    static T** make(int cols, int rows) { return Alloc(cols, rows); }
    static void release(T** m, int rows) { Release(m, rows); }
};

using MatrixApis = ::testing::Types<
    MatrixApi<float, fmatrice, frfmatrice>, MatrixApi<unsigned char, ucmatrice, frucmatrice>,
    MatrixApi<unsigned short, usmatrice, frusmatrice>, MatrixApi<short, smatrice, frsmatrice>,
    MatrixApi<int, imatrice, frimatrice>, MatrixApi<double, dmatrice, frdmatrice>,
    MatrixApi<long double, ldmatrice, frldmatrice>>;

template <typename Api>
class nrutil_matrix : public ::testing::Test {};
TYPED_TEST_SUITE(nrutil_matrix, MatrixApis);

struct Shape {
    int cols;
    int rows;
};
const Shape shapes[] = {{1, 1}, {3, 2}, {1, 7}, {9, 1}, {1000, 3}, {40000, 2}};

TYPED_TEST(nrutil_matrix, RowsAreSeparateZeroFilledBlocksOfTheElementWidth) {
    using T = typename TypeParam::Elem;
    for (const Shape s : shapes) {
        SCOPED_TRACE(std::to_string(s.cols) + " x " + std::to_string(s.rows));
        const std::size_t row_bytes = s.cols * sizeof(T);
        T** m = TypeParam::make(s.cols, s.rows);
        ASSERT_NE(m, nullptr);
        EXPECT_GE(malloc_usable_size(m), s.rows * sizeof(T*));
        for (int r = 0; r < s.rows; ++r) {
            ASSERT_NE(m[r], nullptr);
            EXPECT_GE(malloc_usable_size(m[r]), row_bytes);
            EXPECT_TRUE(all_bytes_zero(m[r], row_bytes)) << "row " << r;
            for (int other = 0; other < r; ++other) {
                const auto* a = reinterpret_cast<const char*>(m[r]);
                const auto* b = reinterpret_cast<const char*>(m[other]);
                EXPECT_TRUE(a + row_bytes <= b || b + row_bytes <= a) << "rows " << other << ", " << r;
            }
        }
        // Every element of the full width is writable (the sanitizer build
        // catches a short row).
        for (int r = 0; r < s.rows; ++r) std::memset(m[r], 0xA5, row_bytes);
        TypeParam::release(m, s.rows);
    }
}

TYPED_TEST(nrutil_matrix, RowsCanBeFreedOneByOneInAnyOrder) {
    using T = typename TypeParam::Elem;
    T** m = TypeParam::make(4, 3);
    ASSERT_NE(m, nullptr);
    // Freeing an interior pointer of one shared block would abort here.
    std::free(m[2]);
    std::free(m[0]);
    std::free(m[1]);
    std::free(m);
}

TYPED_TEST(nrutil_matrix, ReleaseFreesOnlyTheRowsItIsTold) {
    using T = typename TypeParam::Elem;
    T** m = TypeParam::make(4, 3);
    ASSERT_NE(m, nullptr);
    std::free(m[2]);  // already gone: touching it again would be a double free
    TypeParam::release(m, 2);
}

TYPED_TEST(nrutil_matrix, ReleasingNullDoesNothing) {
    for (const int rows : {0, 1, 5, -1, INT_MAX}) TypeParam::release(nullptr, rows);
}

// Counts below 1 are refused before anything is obtained.
TYPED_TEST(nrutil_matrix, RefusedCountsGiveNullAndAllocateNothing) {
    const Shape refused[] = {{0, 5}, {5, 0}, {0, 0}, {-1, 5}, {5, -1}, {INT_MIN, 1}, {1, INT_MIN}, {-3, -3}};
    for (const Shape s : refused) {
        const long before = requests_so_far();
        EXPECT_EQ(TypeParam::make(s.cols, s.rows), nullptr) << s.cols << " x " << s.rows;
        EXPECT_EQ(requests_so_far(), before) << s.cols << " x " << s.rows;
    }
}

template <typename T, T* (*Alloc)(int), void (*Release)(T*)>
struct VectorApi {
    using Elem = T;
    static T* make(int n) { return Alloc(n); }
    static void release(T* v) { Release(v); }
};

using VectorApis = ::testing::Types<
    VectorApi<unsigned char, ucvecteur, frucvecteur>, VectorApi<unsigned short, usvecteur, frusvecteur>,
    VectorApi<short, svecteur, frsvecteur>, VectorApi<int, ivecteur, frivecteur>,
    VectorApi<double, dvecteur, frdvecteur>, VectorApi<float, fvecteur, frfvecteur>>;

template <typename Api>
class nrutil_vector : public ::testing::Test {};
TYPED_TEST_SUITE(nrutil_vector, VectorApis);

TYPED_TEST(nrutil_vector, IsOneZeroFilledBlockOfTheElementWidth) {
    using T = typename TypeParam::Elem;
    for (const int n : {1, 2, 17, 4096, 300000}) {
        const std::size_t bytes = n * sizeof(T);
        T* v = TypeParam::make(n);
        ASSERT_NE(v, nullptr) << n;
        EXPECT_GE(malloc_usable_size(v), bytes) << n;
        EXPECT_TRUE(all_bytes_zero(v, bytes)) << n;
        std::memset(v, 0x5A, bytes);
        TypeParam::release(v);
    }
}

TYPED_TEST(nrutil_vector, RefusedCountsGiveNullAndAllocateNothing) {
    for (const int n : {0, -1, INT_MIN}) {
        const long before = requests_so_far();
        EXPECT_EQ(TypeParam::make(n), nullptr) << n;
        EXPECT_EQ(requests_so_far(), before) << n;
    }
}

TYPED_TEST(nrutil_vector, ReleasingNullDoesNothing) { TypeParam::release(nullptr); }

// ---------------------------------------------------------------------------
// Layout: column count first, then rows; m[row][col].

TEST(nrutil_layout, ColumnsComeFirstAndAWriteTouchesOneElement) {
    int** m = imatrice(3, 2);
    ASSERT_NE(m, nullptr);
    ASSERT_GE(malloc_usable_size(m[0]), 3 * sizeof(int));
    ASSERT_GE(malloc_usable_size(m[1]), 3 * sizeof(int));
    EXPECT_NE(m[0], m[1]);
    m[1][2] = 42;
    // The last element of the second row: byte offset 2 * sizeof(int) there.
    int last = 0;
    std::memcpy(&last, reinterpret_cast<const char*>(m[1]) + 2 * sizeof(int), sizeof last);
    EXPECT_EQ(last, 42);
    EXPECT_TRUE(all_bytes_zero(m[0], 3 * sizeof(int)));
    EXPECT_TRUE(all_bytes_zero(m[1], 2 * sizeof(int)));
    frimatrice(m, 2);
}

TEST(nrutil_layout, TheNamedZeroCountRequestsAreRefused) {
    EXPECT_EQ(fvecteur(0), nullptr);
    EXPECT_EQ(dmatrice(5, 0), nullptr);
    EXPECT_EQ(dmatrice(0, 5), nullptr);
}

// ---------------------------------------------------------------------------
// The size check, against the compiler's own overflow test as the oracle.

TEST(nrutil_byte_count, AgreesWithCheckedMultiplicationAtTheEdges) {
    const std::size_t widths[] = {1, 2, 4, 8, 10, 12, 16, 3, 7};
    for (const std::size_t w : widths) {
        const std::size_t last = SIZE_MAX / w;
        const std::size_t counts[] = {0, 1, 2, last - 1, last, last + 1, last + 2, SIZE_MAX / 2, SIZE_MAX};
        for (const std::size_t n : counts) {
            std::size_t expected = 0;
            const bool overflows = __builtin_mul_overflow(n, w, &expected);
            std::size_t got = 12345;
            ASSERT_EQ(nrutil_detail::byte_count(n, w, &got), !overflows) << n << " * " << w;
            if (!overflows) {
                EXPECT_EQ(got, expected) << n << " * " << w;
            }
        }
    }
}

TEST(nrutil_byte_count, EveryIntCountOfEveryTypeFitsOnlyWhereSizeTIsWide) {
    std::size_t bytes = 0;
    const bool wide = sizeof(std::size_t) >= 8;
    EXPECT_EQ(nrutil_detail::byte_count(INT_MAX, sizeof(long double), &bytes), wide);
    EXPECT_EQ(nrutil_detail::byte_count(INT_MAX, sizeof(void*), &bytes), wide);
}

// ---------------------------------------------------------------------------
// Requests that cannot be obtained. Without the sanitizer they run in a child
// process whose address space is capped a little above what it already uses;
// with it (which reserves a huge address space of its own) they run here,
// the cap being the sanitizer's largest allocation, and LeakSanitizer checks
// at exit as well.

// Windows has no address-space cap for a process to set on itself.
#ifndef _WIN32
using Check = std::function<std::string()>;

#ifndef NRUTIL_TEST_ASAN
std::size_t address_space_in_use() {
    unsigned long pages = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    const int read = std::fscanf(f, "%lu", &pages);
    std::fclose(f);
    return read == 1 ? pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

[[noreturn]] void run_capped(std::size_t headroom, const Check& check) {
    const std::size_t used = address_space_in_use();
    if (used == 0) {
        std::fputs("cannot read the address space in use\n", stderr);
        std::_Exit(2);
    }
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = used + headroom;
    if (setrlimit(RLIMIT_AS, &limit) != 0) {
        std::fputs("cannot cap the address space\n", stderr);
        std::_Exit(2);
    }
    const std::string failure = check();
    if (!failure.empty()) std::fprintf(stderr, "%s\n", failure.c_str());
    std::_Exit(failure.empty() ? 0 : 1);
}

#define EXPECT_PASSES_CAPPED(headroom, check) \
    EXPECT_EXIT(run_capped((headroom), (check)), ::testing::ExitedWithCode(0), "")
#else
#define EXPECT_PASSES_CAPPED(headroom, check) EXPECT_EQ((check)(), "")
#endif

constexpr std::size_t MiB = std::size_t{1} << 20;

// A call that must give null and leave the heap as it found it.
template <typename Call>
std::string null_and_nothing_kept(const char* what, Call call) {
    const long before = held_now();
    if (call() != nullptr) return std::string(what) + " was obtained; ";
    if (held_now() != before) return std::string(what) + " kept memory after failing; ";
    return "";
}

TEST(nrutil_unobtainable, HugeRequestsGiveNullAndKeepNothing) {
    const Check check = [] {
        std::string failures;
        // Row array itself out of reach.
        failures += null_and_nothing_kept("ldmatrice(INT_MAX, INT_MAX)", [] { return ldmatrice(INT_MAX, INT_MAX); });
        failures += null_and_nothing_kept("ldmatrice(1, INT_MAX)", [] { return ldmatrice(1, INT_MAX); });
        // Row array obtained, the first row not: the array is given back.
        failures += null_and_nothing_kept("dmatrice(INT_MAX, 2)", [] { return dmatrice(INT_MAX, 2); });
        failures += null_and_nothing_kept("ucmatrice(INT_MAX, 3)", [] { return ucmatrice(INT_MAX, 3); });
        failures += null_and_nothing_kept("ivecteur(INT_MAX)", [] { return ivecteur(INT_MAX); });
        failures += null_and_nothing_kept("usvecteur(INT_MAX)", [] { return usvecteur(INT_MAX); });
        failures += null_and_nothing_kept("ucvecteur(INT_MAX)", [] { return ucvecteur(INT_MAX); });
        return failures;
    };
    EXPECT_PASSES_CAPPED(64 * MiB, check);
}

#ifndef NRUTIL_TEST_ASAN
// Rows of 64 MiB under a cap of three such rows and a half: a ten-row request
// obtains its row array and three rows, and fails at the fourth (five calloc
// calls). Afterwards every block must be given back, and a three-row matrix
// must still fit, which it only does when the three rows of the failed
// request were returned to the system.
TEST(nrutil_unobtainable, RowFailureMidwayReleasesEverythingObtainedBefore) {
    constexpr int row_cols = static_cast<int>(64 * MiB / sizeof(double));
    const Check check = [] {
        const long requests_before = requests_so_far();
        std::string failures = null_and_nothing_kept("dmatrice(64 MiB rows, 10)", [] { return dmatrice(row_cols, 10); });
        const long requests = requests_so_far() - requests_before;
        if (requests != 5) failures += "failed after " + std::to_string(requests) + " requests, not at the fourth row; ";
        double** fits = dmatrice(row_cols, 3);
        if (fits == nullptr) failures += "three rows no longer fit after the failed request; ";
        frdmatrice(fits, 3);
        return failures;
    };
    EXPECT_PASSES_CAPPED(3 * 64 * MiB + 32 * MiB, check);
}
#endif
#endif  // _WIN32

}  // namespace
