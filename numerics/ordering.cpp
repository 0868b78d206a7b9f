#include "ordering.h"

#include <algorithm>
#include <numeric>

namespace KelVane {

namespace {

// Graph of the equations: two are adjacent when either of the entries (i, j) and
// (j, i) is stored. Compressed rows, neighbours ascending, no loops.
struct EquationGraph {
    std::vector<std::size_t> start;
    std::vector<std::uint32_t> neighbours;

    explicit EquationGraph(const CR_Matrix& A)
    {
        const std::uint32_t n = A.num_rows();
        std::vector<std::size_t> count(n + 1, 0);
        for (std::uint32_t r = 0; r < n; ++r) {
            for (const ai& entry : A[r].entries()) {
                if (entry.index == r || entry.index >= n)
                    continue;
                ++count[r + 1];
                ++count[entry.index + 1];
            }
        }
        std::partial_sum(count.begin(), count.end(), count.begin());
        std::vector<std::uint32_t> all(count[n]);
        std::vector<std::size_t> fill(count.begin(), count.end() - 1);
        for (std::uint32_t r = 0; r < n; ++r) {
            for (const ai& entry : A[r].entries()) {
                if (entry.index == r || entry.index >= n)
                    continue;
                all[fill[r]++] = entry.index;
                all[fill[entry.index]++] = r;
            }
        }
        start.assign(n + 1, 0);
        neighbours.reserve(all.size() / 2 + n);
        for (std::uint32_t r = 0; r < n; ++r) {
            auto first = all.begin() + static_cast<std::ptrdiff_t>(count[r]);
            auto last = all.begin() + static_cast<std::ptrdiff_t>(count[r + 1]);
            std::sort(first, last);
            last = std::unique(first, last);
            neighbours.insert(neighbours.end(), first, last);
            start[r + 1] = neighbours.size();
        }
    }

    std::uint32_t size() const { return static_cast<std::uint32_t>(start.size() - 1); }
    std::uint32_t degree(std::uint32_t v) const
    {
        return static_cast<std::uint32_t>(start[v + 1] - start[v]);
    }
    const std::uint32_t* begin(std::uint32_t v) const { return neighbours.data() + start[v]; }
    const std::uint32_t* end(std::uint32_t v) const { return neighbours.data() + start[v + 1]; }
};

// Breadth-first levels from the vertices of `roots`, over the vertices not yet
// taken (taken[v] false); `level` holds the level of every vertex reached. The
// vertices reached are returned level by level, each level in the order of its
// parents and, among the children of one parent, by ascending degree (the
// Cuthill-McKee order).
std::vector<std::uint32_t> levels_from(const EquationGraph& graph,
                                       const std::vector<std::uint32_t>& roots,
                                       const std::vector<char>& taken,
                                       std::vector<std::uint32_t>& level,
                                       std::vector<std::uint32_t>& mark, std::uint32_t stamp)
{
    std::vector<std::uint32_t> queue;
    for (std::uint32_t root : roots) {
        queue.push_back(root);
        mark[root] = stamp;
        level[root] = 0;
    }
    std::vector<std::uint32_t> children;
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::uint32_t v = queue[head];
        children.clear();
        for (const std::uint32_t* w = graph.begin(v); w != graph.end(v); ++w) {
            if (taken[*w] || mark[*w] == stamp)
                continue;
            mark[*w] = stamp;
            level[*w] = level[v] + 1;
            children.push_back(*w);
        }
        std::sort(children.begin(), children.end(), [&](std::uint32_t a, std::uint32_t b) {
            return graph.degree(a) != graph.degree(b) ? graph.degree(a) < graph.degree(b) : a < b;
        });
        queue.insert(queue.end(), children.begin(), children.end());
    }
    return queue;
}

// Operations of a skyline factorisation in the given order, up to a constant
// factor: the sum of the squared row lengths.
double profile_work(const EquationGraph& graph, const std::vector<std::uint32_t>& order)
{
    const std::uint32_t n = graph.size();
    std::vector<std::uint32_t> place(n);
    for (std::uint32_t k = 0; k < n; ++k)
        place[order[k]] = k;
    double work = 0.0;
    for (std::uint32_t k = 0; k < n; ++k) {
        std::uint32_t first = k;
        for (const std::uint32_t* w = graph.begin(order[k]); w != graph.end(order[k]); ++w)
            first = std::min(first, place[*w]);
        const double length = static_cast<double>(k - first) + 1.0;
        work += length * length;
    }
    return work;
}

// Reverse Cuthill-McKee, one connected part after the other. Each part starts from
// a pseudo-peripheral vertex (the farthest level of a breadth-first search, at its
// vertex of least degree, until the depth grows no more). With `from_far_level`
// the part starts instead from that vertex's whole farthest level, itself ordered
// along its own edges: on a long strip this is the far edge, and the levels become
// the straight cross-sections rather than the growing fronts around a corner.
std::vector<std::uint32_t> cuthill_mckee(const EquationGraph& graph, bool from_far_level)
{
    const std::uint32_t n = graph.size();
    std::vector<std::uint32_t> order;
    order.reserve(n);
    std::vector<char> taken(n, 0);
    std::vector<std::uint32_t> level(n, 0);
    std::vector<std::uint32_t> mark(n, 0);
    std::vector<char> outside(n, 1);
    std::vector<std::uint32_t> scratch_level(n, 0);
    std::uint32_t stamp = 0;
    for (std::uint32_t seed = 0; seed < n; ++seed) {
        if (taken[seed])
            continue;
        std::uint32_t root = seed;
        std::vector<std::uint32_t> reached = levels_from(graph, {root}, taken, level, mark, ++stamp);
        std::uint32_t depth = level[reached.back()];
        for (;;) {
            std::uint32_t candidate = reached.back();
            for (std::uint32_t v : reached)
                if (level[v] == depth && graph.degree(v) < graph.degree(candidate))
                    candidate = v;
            std::vector<std::uint32_t> next =
                levels_from(graph, {candidate}, taken, level, mark, ++stamp);
            if (level[next.back()] <= depth)
                break;
            root = candidate;
            depth = level[next.back()];
            reached.swap(next);
        }
        reached = levels_from(graph, {root}, taken, level, mark, ++stamp);
        if (from_far_level && depth > 0) {
            // The far level, ordered breadth-first along its own edges, each of its
            // pieces from its vertex of least degree.
            std::vector<std::uint32_t> far_level;
            for (std::uint32_t v : reached)
                if (level[v] == depth)
                    far_level.push_back(v);
            std::stable_sort(far_level.begin(), far_level.end(), [&](std::uint32_t a, std::uint32_t b) {
                return graph.degree(a) < graph.degree(b);
            });
            for (std::uint32_t v : far_level)
                outside[v] = 0;
            std::vector<std::uint32_t> far;
            for (std::uint32_t v : far_level) {
                if (outside[v] != 0)
                    continue;
                const std::vector<std::uint32_t> piece =
                    levels_from(graph, {v}, outside, scratch_level, mark, ++stamp);
                for (std::uint32_t w : piece)
                    outside[w] = 1;
                far.insert(far.end(), piece.begin(), piece.end());
            }
            reached = levels_from(graph, far, taken, level, mark, ++stamp);
        }
        for (std::uint32_t v : reached)
            taken[v] = 1;
        order.insert(order.end(), reached.begin(), reached.end());
    }
    std::reverse(order.begin(), order.end());
    return order;
}

} // namespace

std::vector<std::uint32_t> profile_order(const CR_Matrix& A)
{
    const EquationGraph graph(A);
    const std::uint32_t n = graph.size();
    std::vector<std::uint32_t> best(n);
    std::iota(best.begin(), best.end(), 0u);
    double least = profile_work(graph, best);
    bool reordered = false;
    for (bool from_far_level : {false, true}) {
        std::vector<std::uint32_t> order = cuthill_mckee(graph, from_far_level);
        const double work = profile_work(graph, order);
        // Another order must save clearly more than its own cost to pay.
        if (work < 0.9 * least) {
            least = work;
            best.swap(order);
            reordered = true;
        }
    }
    if (!reordered)
        best.clear();
    return best;
}

} // namespace KelVane
