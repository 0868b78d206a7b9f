#ifndef KELVANED_TESTS_FEM_TEST_MODEL_H
#define KELVANED_TESTS_FEM_TEST_MODEL_H

// A small model held in memory for element tests: nodes and elements, the set-up
// that the model container does before an analysis (element dofs, numbering,
// transformations), and a linear solve through the sparse system matrix.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <wx/dc.h>

#include "common/stream_capture.h"
#include "element_base.h"
#include "kvmatrix.h"
#include "node.h"
#include "sysmat.h"

namespace kv_test {

// A drawing context that draws nothing and records the lines, ellipses, polygons
// and texts that it is asked for, in device coordinates. Its characters are 6
// units wide and 10 high.
class RecordingDC : public wxDC {
public:
    struct Line {
        int x1, y1, x2, y2;
    };
    struct Ellipse {
        int x, y, width, height;
    };
    struct Text {
        std::string text;
        int x, y;
        wxPoint position() const { return wxPoint(x, y); }
    };
    struct Record {
        std::vector<Line> lines;
        std::vector<Ellipse> ellipses;
        std::vector<std::vector<wxPoint>> polygons;
        std::vector<Text> texts;
    };

    RecordingDC() : RecordingDC(new Impl(this)) {}
    const Record& record() const { return impl_->record; }

private:
    class Impl : public wxDCImpl {
    public:
        explicit Impl(wxDC* owner) : wxDCImpl(owner) { m_ok = true; }
        Record record;

        bool CanDrawBitmap() const override { return false; }
        bool CanGetTextExtent() const override { return false; }
        void DoGetSize(int* width, int* height) const override { *width = *height = 1000; }
        void DoGetSizeMM(int* width, int* height) const override { *width = *height = 100; }
        int GetDepth() const override { return 24; }
        wxSize GetPPI() const override { return wxSize(96, 96); }
        void SetFont(const wxFont&) override {}
        void SetPen(const wxPen&) override {}
        void SetBrush(const wxBrush&) override {}
        void SetBackground(const wxBrush&) override {}
        void SetBackgroundMode(int) override {}
        void SetPalette(const wxPalette&) override {}
        void SetLogicalFunction(wxRasterOperationMode) override {}
        wxCoord GetCharHeight() const override { return 10; }
        wxCoord GetCharWidth() const override { return 6; }
        void DoGetTextExtent(const wxString& text, wxCoord* x, wxCoord* y, wxCoord* descent,
                             wxCoord* leading, const wxFont*) const override
        {
            *x = 6 * static_cast<wxCoord>(text.length());
            *y = 10;
            if (descent) *descent = 0;
            if (leading) *leading = 0;
        }
        void Clear() override {}
        void DoSetClippingRegion(wxCoord, wxCoord, wxCoord, wxCoord) override {}
        void DoSetDeviceClippingRegion(const wxRegion&) override {}
        bool DoFloodFill(wxCoord, wxCoord, const wxColour&, wxFloodFillStyle) override
        {
            return false;
        }
        bool DoGetPixel(wxCoord, wxCoord, wxColour*) const override { return false; }
        void DoDrawPoint(wxCoord, wxCoord) override {}
        void DoDrawLine(wxCoord x1, wxCoord y1, wxCoord x2, wxCoord y2) override
        {
            record.lines.push_back({x1, y1, x2, y2});
        }
        void DoDrawArc(wxCoord, wxCoord, wxCoord, wxCoord, wxCoord, wxCoord) override {}
        void DoDrawEllipticArc(wxCoord, wxCoord, wxCoord, wxCoord, double, double) override {}
        void DoDrawRectangle(wxCoord, wxCoord, wxCoord, wxCoord) override {}
        void DoDrawRoundedRectangle(wxCoord, wxCoord, wxCoord, wxCoord, double) override {}
        void DoDrawEllipse(wxCoord x, wxCoord y, wxCoord width, wxCoord height) override
        {
            record.ellipses.push_back({x, y, width, height});
        }
        void DoCrossHair(wxCoord, wxCoord) override {}
        void DoDrawIcon(const wxIcon&, wxCoord, wxCoord) override {}
        void DoDrawBitmap(const wxBitmap&, wxCoord, wxCoord, bool) override {}
        void DoDrawText(const wxString& text, wxCoord x, wxCoord y) override
        {
            record.texts.push_back({text.utf8_string(), x, y});
        }
        void DoDrawRotatedText(const wxString&, wxCoord, wxCoord, double) override {}
        bool DoBlit(wxCoord, wxCoord, wxCoord, wxCoord, wxDC*, wxCoord, wxCoord,
                    wxRasterOperationMode, bool, wxCoord, wxCoord) override
        {
            return false;
        }
        void DoDrawLines(int, const wxPoint[], wxCoord, wxCoord) override {}
        void DoDrawPolygon(int n, const wxPoint points[], wxCoord, wxCoord,
                           wxPolygonFillMode) override
        {
            record.polygons.emplace_back(points, points + n);
        }
    };

    explicit RecordingDC(Impl* impl) : wxDC(impl), impl_(impl) {}
    Impl* impl_;  // owned by wxDC
};

class TestModel {
public:
    MyNode* add_node(std::uint32_t number, double x, double y, double z = 0.0)
    {
        nodes_.push_back(std::make_unique<MyNode>(number, x, y, z));
        return nodes_.back().get();
    }

    // A node array as the reader hands it to an element (the element takes it over).
    KelVane::Node** node_array(std::initializer_list<MyNode*> list) const
    {
        KelVane::Node** array = new KelVane::Node*[list.size()];
        std::size_t k = 0;
        for (MyNode* node : list) array[k++] = node;
        return array;
    }

    template <class Element, class... Args>
    Element* add_element(Args&&... args)
    {
        auto element = std::make_unique<Element>(std::forward<Args>(args)...);
        Element* raw = element.get();
        elements_.push_back(std::move(element));
        return raw;
    }

    // A suppressed dof, as the reader creates it before the analysis starts.
    static void fix(MyNode* node, KelVane::dof_type type, const Direction& direction)
    {
        node->add_dof(KelVane::fixed_status, type, direction);
    }

    // Element dofs, equation numbers and transformations, in the container's order.
    void setup()
    {
        for (auto& element : elements_) element->create_dofs();
        for (auto& node : nodes_) node->number_dofs(n_free, n_fixed, n_prescribed);
        for (auto& element : elements_) element->init_transformation();
    }

    KelVane::SystemVector system_vector() const
    {
        return KelVane::SystemVector(n_free, n_prescribed, n_fixed);
    }

    // The global stiffness over the free equations, as a dense matrix.
    KelVane::Matrix dense_stiffness()
    {
        KelVane::SparseSysMat K(n_free, true);
        KelVane::Vector rhs(n_free, 0.0);
        K.zero();
        for (auto& element : elements_) element->assemble_stiffness(K, rhs);
        return dense(K);
    }

    KelVane::Matrix dense_mass(bool lumped)
    {
        KelVane::SparseSysMat M(n_free, true);
        M.zero();
        for (auto& element : elements_) element->assemble_mass(M, lumped);
        return dense(M);
    }

    // Solves K du = f for the free equations, hands du to the nodes and updates
    // the elements' states, as one linear step of an analysis does.
    KelVane::Vector solve_step(const KelVane::SystemVector& loads)
    {
        KelVane::SparseSysMat K(n_free, true);
        KelVane::Vector rhs(n_free, 0.0);
        K.zero();
        for (auto& element : elements_) element->assemble_stiffness(K, rhs);
        KelVane::Vector du;
        K.solve(loads.free_part() + rhs, du);
        for (auto& node : nodes_) node->add_increment(du);
        for (auto& element : elements_) element->update_state();
        return du;
    }

    KelVane::SystemVector internal_forces()
    {
        KelVane::SystemVector forces = system_vector();
        for (auto& element : elements_) element->assemble_internal_forces(forces);
        return forces;
    }

    void commit()
    {
        for (auto& node : nodes_) node->accept_increment();
        for (auto& element : elements_) element->accept();
    }

    std::uint32_t n_free = 0;
    std::uint32_t n_fixed = 0;
    std::uint32_t n_prescribed = 0;

private:
    static KelVane::Matrix dense(const KelVane::SparseSysMat& A)
    {
        KelVane::Matrix D(A.num_rows(), A.num_rows(), 0.0);
        for (std::uint32_t r = 0; r < A.num_rows(); ++r)
            for (const KelVane::ai& entry : A[r].entries()) D[r][entry.index] = entry.value;
        return D;
    }

    // Elements point to the nodes, so they are declared after them and die first.
    std::vector<std::unique_ptr<MyNode>> nodes_;
    std::vector<std::unique_ptr<FiniteElement>> elements_;
};

// Every dof of the nodes takes the increment u(x) projected on its direction.
inline void impose(const std::vector<MyNode*>& nodes,
                   const std::function<Vector3(double, double, double)>& u)
{
    for (MyNode* node : nodes) {
        double x, y, z, dx, dy, dz, ux, uy, uz;
        node->get_coordinates(x, y, z);
        u(x, y, z).get(ux, uy, uz);
        for (std::uint32_t i = 0; i < node->number_of_dofs(); ++i) {
            node->get_dof(i).get_direction().get(dx, dy, dz);
            node->get_dof(i).set_increment(ux * dx + uy * dy + uz * dz);
        }
    }
}

}  // namespace kv_test

#endif
