#ifndef KELVANED_COLLECT_ARRAY_H
#define KELVANED_COLLECT_ARRAY_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <vector>

namespace KelVane {

class Vector;

// Growable array of doubles with a read cursor. Elements and material points append
// their state to it when a restart file is written and take it back, in the same
// order, when the file is read. A read beyond the stored values means the restart
// file does not match the model and throws file_error("corrupt restart file").
class CollectArray {
public:
    CollectArray() = default;
    // An empty array with room for `capacity` values.
    explicit CollectArray(std::size_t capacity);

    void append(double value);
    // The value at the cursor; the cursor moves past it.
    double read();

    std::size_t size() const { return values_.size(); }
    std::uint32_t cursor() const { return cursor_; }
    double operator[](std::size_t i) const;

    // Text form: the count and a line end, every value followed by a blank and a line
    // end, then one empty line. Values are written with 17 significant digits in the
    // "C" format, so reading them back restores every double exactly.
    friend std::ostream& operator<<(std::ostream& os, const CollectArray& array);
    // Replaces the values by those of a text form; the cursor is kept. A missing,
    // negative or non-numeric count, fewer values than the count, or a value that
    // is not finite throws file_error("corrupt restart file") and leaves the array
    // unchanged.
    friend std::istream& operator>>(std::istream& is, CollectArray& array);

private:
    std::vector<double> values_;
    std::uint32_t cursor_ = 0;
};

// Appends all entries of v in order, without its size.
void append_to(CollectArray& array, const Vector& v);
// Fills all entries of v (its size is already set) from the array at the cursor and
// moves the cursor past them.
void read_from(CollectArray& array, Vector& v);

}  // namespace KelVane

#endif
