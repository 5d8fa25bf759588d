// Zero-filled matrices and vectors: one generic implementation per shape,
// instantiated for each element type by the exported one-line functions.
#include "nrutil.h"

#include <cstdint>
#include <cstdlib>

bool nrutil_detail::byte_count(std::size_t count, std::size_t elem_size,
                               std::size_t* bytes) noexcept {
    if (count > SIZE_MAX / elem_size) return false;
    *bytes = count * elem_size;
    return true;
}

namespace {

// Whether count elements of elem_size bytes are a request worth making:
// at least one element, and a byte count that size_t holds.
bool valid_request(int count, std::size_t elem_size) {
    std::size_t bytes = 0;
    return count > 0 && nrutil_detail::byte_count(static_cast<std::size_t>(count), elem_size, &bytes);
}

// A zero-filled block of count elements of T, or null (see valid_request).
template <typename T>
T* zeroed_block(int count) {
    if (!valid_request(count, sizeof(T))) return nullptr;
    return static_cast<T*>(std::calloc(static_cast<std::size_t>(count), sizeof(T)));
}

template <typename T>
void release_rows(T** mat, int nb_lig) {
    if (mat == nullptr) return;
    for (int row = 0; row < nb_lig; ++row) std::free(mat[row]);
    std::free(mat);
}

// Both counts are checked before anything is obtained, so a request that can
// never succeed allocates nothing at all.
template <typename T>
T** zeroed_matrix(int nb_col, int nb_lig) {
    if (!valid_request(nb_col, sizeof(T)) || !valid_request(nb_lig, sizeof(T*))) return nullptr;
    T** mat = zeroed_block<T*>(nb_lig);
    if (mat == nullptr) return nullptr;
    for (int row = 0; row < nb_lig; ++row) {
        mat[row] = zeroed_block<T>(nb_col);
        if (mat[row] == nullptr) {
            release_rows(mat, row);
            return nullptr;
        }
    }
    return mat;
}

}  // namespace

extern "C" {

float** fmatrice(int NbCol, int NbLig) { return zeroed_matrix<float>(NbCol, NbLig); }
void frfmatrice(float** Mat, int NbLig) { release_rows(Mat, NbLig); }
unsigned char** ucmatrice(int NbCol, int NbLig) { return zeroed_matrix<unsigned char>(NbCol, NbLig); }
void frucmatrice(unsigned char** Mat, int NbLig) { release_rows(Mat, NbLig); }
unsigned short** usmatrice(int NbCol, int NbLig) { return zeroed_matrix<unsigned short>(NbCol, NbLig); }
void frusmatrice(unsigned short** Mat, int NbLig) { release_rows(Mat, NbLig); }
short** smatrice(int NbCol, int NbLig) { return zeroed_matrix<short>(NbCol, NbLig); }
void frsmatrice(short** Mat, int NbLig) { release_rows(Mat, NbLig); }
int** imatrice(int NbCol, int NbLig) { return zeroed_matrix<int>(NbCol, NbLig); }
void frimatrice(int** Mat, int NbLig) { release_rows(Mat, NbLig); }
double** dmatrice(int NbCol, int NbLig) { return zeroed_matrix<double>(NbCol, NbLig); }
void frdmatrice(double** Mat, int NbLig) { release_rows(Mat, NbLig); }
long double** ldmatrice(int NbCol, int NbLig) { return zeroed_matrix<long double>(NbCol, NbLig); }
void frldmatrice(long double** Mat, int NbLig) { release_rows(Mat, NbLig); }

unsigned char* ucvecteur(int NbCol) { return zeroed_block<unsigned char>(NbCol); }
void frucvecteur(unsigned char* Mat) { std::free(Mat); }
unsigned short* usvecteur(int NbCol) { return zeroed_block<unsigned short>(NbCol); }
void frusvecteur(unsigned short* Mat) { std::free(Mat); }
short* svecteur(int NbCol) { return zeroed_block<short>(NbCol); }
void frsvecteur(short* Mat) { std::free(Mat); }
int* ivecteur(int NbCol) { return zeroed_block<int>(NbCol); }
void frivecteur(int* Mat) { std::free(Mat); }
double* dvecteur(int NbCol) { return zeroed_block<double>(NbCol); }
void frdvecteur(double* Mat) { std::free(Mat); }
float* fvecteur(int NbCol) { return zeroed_block<float>(NbCol); }
void frfvecteur(float* Mat) { std::free(Mat); }

}  // extern "C"
