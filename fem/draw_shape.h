#ifndef KELVANED_DRAW_SHAPE_H
#define KELVANED_DRAW_SHAPE_H

#include <vector>

// The order in which an element's nodes are joined to draw its outline.
class DrawShape {
public:
    virtual ~DrawShape() = default;

    // Fills the list with 0-based indices into the element's node list, in the
    // order the outline is walked. An empty list means the element is not drawn.
    virtual void outline_nodes(std::vector<int>& list) const;
};

class DrawTriangular : public DrawShape {};
class DrawQuadrilateral : public DrawShape {};
class DrawHexagonal : public DrawShape {};

class DrawTri_lin : public DrawTriangular {
public:
    void outline_nodes(std::vector<int>& list) const override;
};

// Perimeter order: the nodes are listed as the outline walks them.
class DrawTri_quad : public DrawTriangular {
public:
    void outline_nodes(std::vector<int>& list) const override;
};

// Corners first: each corner is followed by the mid-side node after it.
class DrawTri_quad_alt : public DrawTriangular {
public:
    void outline_nodes(std::vector<int>& list) const override;
};

class DrawQuad_lin : public DrawQuadrilateral {
public:
    void outline_nodes(std::vector<int>& list) const override;
};

class DrawQuad_quad : public DrawQuadrilateral {
public:
    void outline_nodes(std::vector<int>& list) const override;
};

class DrawQuad_quad_alt : public DrawQuadrilateral {
public:
    void outline_nodes(std::vector<int>& list) const override;
};

// Hexahedra are not drawn: the outline stays empty.
class DrawHex_lin : public DrawHexagonal {};

#endif
