/* Zero-filled numerical matrices and vectors, shared with C code.
 *
 * Element types by prefix: f float, uc unsigned char, us unsigned short,
 * s short, i int, d double, ld long double (matrices only).
 *
 * A matrix of NbLig rows and NbCol columns is an array of NbLig row pointers,
 * each pointing to its own zero-filled block of NbCol elements (the rows are
 * separate blocks, not one). Elements are m[row][col], counted from 0.
 * A vector is one zero-filled block of NbCol elements.
 *
 * All memory comes from calloc, so C code may release it with free: a
 * matrix's rows one by one, then the row array.
 *
 * Every allocator returns null, and keeps nothing, when:
 *  - a count is 0 or negative (no row array is obtained for 0 columns);
 *  - a byte count (count * element size, rows * pointer size) exceeds size_t;
 *  - the memory cannot be obtained. When a row fails, the rows obtained before
 *    it and the row array are released first.
 *
 * Every releaser accepts null and then does nothing. A matrix releaser frees
 * Mat[0] .. Mat[NbLig - 1] in that order, then Mat; NbLig must be the row
 * count the matrix was made with.
 *
 * Nothing here prints or keeps state. */
#ifndef TILVARO_NRUTIL_H
#define TILVARO_NRUTIL_H

#ifdef __cplusplus
#include <cstddef>
extern "C" {
#endif

float** fmatrice(int NbCol, int NbLig);
void frfmatrice(float** Mat, int NbLig);
unsigned char** ucmatrice(int NbCol, int NbLig);
void frucmatrice(unsigned char** Mat, int NbLig);
unsigned short** usmatrice(int NbCol, int NbLig);
void frusmatrice(unsigned short** Mat, int NbLig);
short** smatrice(int NbCol, int NbLig);
void frsmatrice(short** Mat, int NbLig);
int** imatrice(int NbCol, int NbLig);
void frimatrice(int** Mat, int NbLig);
double** dmatrice(int NbCol, int NbLig);
void frdmatrice(double** Mat, int NbLig);
long double** ldmatrice(int NbCol, int NbLig);
void frldmatrice(long double** Mat, int NbLig);

unsigned char* ucvecteur(int NbCol);
void frucvecteur(unsigned char* Mat);
unsigned short* usvecteur(int NbCol);
void frusvecteur(unsigned short* Mat);
short* svecteur(int NbCol);
void frsvecteur(short* Mat);
int* ivecteur(int NbCol);
void frivecteur(int* Mat);
double* dvecteur(int NbCol);
void frdvecteur(double* Mat);
float* fvecteur(int NbCol);
void frfvecteur(float* Mat);

#ifdef __cplusplus
} /* extern "C" */

namespace nrutil_detail {
// The size check behind every allocator, reachable by the tests because on a
// 64-bit host no int count can overflow it. Stores count * elem_size in
// *bytes and returns true when size_t holds it; returns false otherwise.
// Precondition: elem_size > 0.
bool byte_count(std::size_t count, std::size_t elem_size, std::size_t* bytes) noexcept;
}  // namespace nrutil_detail
#endif

#endif /* TILVARO_NRUTIL_H */
