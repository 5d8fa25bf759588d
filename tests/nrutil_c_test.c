/* The utility header compiled as C: every function links with C naming, and
 * memory it hands out can be released with the C library's free. */
#include "nrutil.h"

#include <stdio.h>
#include <stdlib.h>

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "failed: %s\n", what);
        ++failures;
    }
}

int main(void) {
    int** m = imatrice(3, 2);
    check(m != NULL && m[0] != NULL && m[1] != NULL, "imatrice(3, 2)");
    if (m != NULL) {
        m[1][2] = 5;
        check(m[0][0] == 0 && m[0][2] == 0 && m[1][1] == 0 && m[1][2] == 5, "imatrice elements");
        /* Released the C way: each row, then the row array. */
        free(m[0]);
        free(m[1]);
        free(m);
    }

    frfmatrice(fmatrice(2, 3), 3);
    frucmatrice(ucmatrice(2, 3), 3);
    frusmatrice(usmatrice(2, 3), 3);
    frsmatrice(smatrice(2, 3), 3);
    frimatrice(imatrice(2, 3), 3);
    frdmatrice(dmatrice(2, 3), 3);
    frldmatrice(ldmatrice(2, 3), 3);

    frucvecteur(ucvecteur(4));
    frusvecteur(usvecteur(4));
    frsvecteur(svecteur(4));
    frivecteur(ivecteur(4));
    frfvecteur(fvecteur(4));

    double* v = dvecteur(4);
    check(v != NULL && v[3] == 0.0, "dvecteur(4)");
    free(v);

    check(dvecteur(0) == NULL, "dvecteur(0)");
    check(dmatrice(0, 5) == NULL, "dmatrice(0, 5)");

    return failures == 0 ? 0 : 1;
}
