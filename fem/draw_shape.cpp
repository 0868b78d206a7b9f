#include "draw_shape.h"

void DrawShape::outline_nodes(std::vector<int>& list) const { list.clear(); }

void DrawTri_lin::outline_nodes(std::vector<int>& list) const { list = {0, 1, 2}; }

void DrawTri_quad::outline_nodes(std::vector<int>& list) const { list = {0, 1, 2, 3, 4, 5}; }

void DrawTri_quad_alt::outline_nodes(std::vector<int>& list) const { list = {0, 3, 1, 4, 2, 5}; }

void DrawQuad_lin::outline_nodes(std::vector<int>& list) const { list = {0, 1, 2, 3}; }

void DrawQuad_quad::outline_nodes(std::vector<int>& list) const
{
    list = {0, 1, 2, 3, 4, 5, 6, 7};
}

void DrawQuad_quad_alt::outline_nodes(std::vector<int>& list) const
{
    list = {0, 4, 1, 5, 2, 6, 3, 7};
}
