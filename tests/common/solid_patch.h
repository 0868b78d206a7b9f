#ifndef KELVANED_TESTS_COMMON_SOLID_PATCH_H
#define KELVANED_TESTS_COMMON_SOLID_PATCH_H

#include <array>

namespace kv_test {

// The distorted solid patch: seven hexahedra filling the unit cube, an inner
// hexahedron of irregular corners a quarter in from the faces and one hexahedron
// between each face of the cube and the inner one. Element 4 has a corner (node
// 1) where the Jacobian determinant is slightly negative; it is positive at every
// integration point. Node k + 1 at nodes[k]; elements list their node numbers.
struct SolidPatch {
    static constexpr std::array<std::array<double, 3>, 16> nodes = {{{0, 0, 0},
                                                                     {1, 0, 0},
                                                                     {1, 1, 0},
                                                                     {0, 1, 0},
                                                                     {0, 0, 1},
                                                                     {1, 0, 1},
                                                                     {1, 1, 1},
                                                                     {0, 1, 1},
                                                                     {0.249, 0.342, 0.192},
                                                                     {0.826, 0.288, 0.288},
                                                                     {0.850, 0.649, 0.263},
                                                                     {0.273, 0.750, 0.230},
                                                                     {0.320, 0.186, 0.643},
                                                                     {0.677, 0.305, 0.683},
                                                                     {0.788, 0.693, 0.644},
                                                                     {0.165, 0.745, 0.702}}};
    static constexpr std::array<std::array<int, 8>, 7> elements = {
        {{9, 10, 11, 12, 13, 14, 15, 16},
         {1, 2, 3, 4, 9, 10, 11, 12},
         {13, 14, 15, 16, 5, 6, 7, 8},
         {1, 5, 6, 2, 9, 13, 14, 10},
         {2, 6, 7, 3, 10, 14, 15, 11},
         {3, 7, 8, 4, 11, 15, 16, 12},
         {4, 8, 5, 1, 12, 16, 13, 9}}};
};

}  // namespace kv_test

#endif
