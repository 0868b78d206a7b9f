#ifndef KELVANED_TESTS_PROBE_ELEMENT_H
#define KELVANED_TESTS_PROBE_ELEMENT_H

// A one-node element for the model-container tests: a spring of stiffness k to
// the ground along one direction, whose internal force, symmetry, listing rows
// and nodal result the test chooses, and which records what the container asks
// of it.

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "domain.h"
#include "element_base.h"
#include "errors.h"
#include "node.h"

struct ProbeLog {
    std::vector<std::string> events;
    int symmetric_queries = 0;
    int destroyed = 0;
};

class ProbeElement : public FiniteElement {
public:
    ProbeElement(std::uint32_t number, KelVane::Node* node, const Direction& direction,
                 double k, ProbeLog* log, KelVane::dof_type type = KelVane::displacement_type)
        : FiniteElement(number, new KelVane::Node*[1]{node}, 1, 1),
          direction_(direction),
          type_(type),
          k_(k),
          log_(log)
    {
    }
    ~ProbeElement() override
    {
        if (log_) ++log_->destroyed;
    }

    KelVane::Matrix stiffness_matrix(KelVane::Vector&) override
    {
        return KelVane::Matrix(1, 1, k_);
    }
    KelVane::Vector internal_forces() override { return KelVane::Vector(1, force); }
    // Every face pushes its one dof with the pressure.
    KelVane::Vector pressure_load(int, double pressure, KelVane::PressureFace) override
    {
        return KelVane::Vector(1, pressure);
    }
    int pressure_faces() const override { return 4; }
    LocalDof* GetLocalDofs() override
    {
        LocalDof* local = new LocalDof[1];
        local[0].node = 1;
        local[0].direction = direction_;
        local[0].type = type_;
        return local;
    }
    void write_restart(std::ostream& os) override { os << state << '\n'; }
    void read_restart(std::istream& is) override { is >> state; }
    void update_state() override { log("update " + std::to_string(number())); }
    void accept() override
    {
        // What the element sees of its node when it commits.
        const KelVane::itincDof& dof = get_node(0)->get_dof(0);
        log("accept " + std::to_string(number()) + " value " + std::to_string(dof.value()) +
            " increment " + std::to_string(dof.get_increment()));
    }
    bool symmetric() override
    {
        if (log_) ++log_->symmetric_queries;
        return is_symmetric;
    }
    void add_nodal_average() override
    {
        log("average mode " + std::to_string(result_mode));
        get_node(0)->add_to_average(result_mode == 1 ? nodal_stress : nodal_equivalent);
    }
    void print_nodal_header(std::ostream& os) override { os << "header " << number() << '\n'; }
    void print_nodal_results(std::ostream& os) override { os << "rows " << number() << '\n'; }
    void write_res_header(std::ostream& os, int) override { os << res_header; }
    void draw(wxDC&, DeviceMap&, bool) override {}

    double force = 0.0;
    double state = 0.0;
    bool is_symmetric = true;
    std::string res_header = "stress header\n";  // empty: none, like a truss
    KelVane::Vector nodal_stress = KelVane::Vector(1, 0.0);
    KelVane::Vector nodal_equivalent = KelVane::Vector(1, 0.0);

private:
    void log(const std::string& event)
    {
        if (log_) log_->events.push_back(event);
    }

    Direction direction_;
    KelVane::dof_type type_;
    double k_;
    ProbeLog* log_;
};

#endif
