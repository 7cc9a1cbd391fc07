// Scan conversion and point in polygon over one shared edge table.
//
// The edge table holds the non-horizontal edges that reach a window of rows, in polygon
// order, with their vertex flags; the scan conversion sorts it by top row and sweeps the
// rows with an active list, the point test takes the edges of one row. Positions along an
// edge are exact: on row top y + k the edge's rounded column is
// top x + s * floor((2k|dx| + dy) / (2dy)) (nearest column, halves away from the top
// vertex), kept by a Dda as floor((k|dx| + dy div 2) / dy), which is the same number.
#include "zumeld/geometry/ScanConvert.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "zumeld/geometry/Dda_p.h"

namespace Zumeld {

namespace {

using detail::Dda;

// ---- Edge table ---------------------------------------------------------------------------

struct PolyEdge {
    std::int64_t topX = 0, topY = 0;  // the end with the smaller y
    std::int64_t bottomX = 0, bottomY = 0;
    bool topTurns = false;       // the outline turns back vertically at the top vertex
    bool bottomTurns = false;    // ... at the bottom vertex
    bool downward = false;       // in point order the edge runs from its top to its bottom
    bool steep = false;          // |dx| <= dy: one pixel per row
    int sign = 1;                // +1 when bottom x >= top x, else -1
    Dda centre;                  // rounded column on the current row, from top x
    Dda runEnd;                  // column where the edge leaves the current row, from top x
    std::int64_t runStartX = 0;  // column where the edge's run on the current row begins

    std::int64_t XOf(const Dda& d) const { return topX + sign * d.pos; }
    // The edge's end on this row is a vertex the outline passes straight through.
    bool PassesThroughOn(std::int64_t row) const {
        return (row == topY && !topTurns) || (row == bottomY && !bottomTurns);
    }
};

struct ActiveEdge {
    PolyEdge* edge = nullptr;
    std::int64_t key = 0;                    // the edge's rounded column on the current row
    std::int64_t runLeft = 0, runRight = 0;  // columns the edge covers on the row, inclusive
};

// One block per call: n edge records followed by n active-list slots.
class EdgeStorage {
  public:
    explicit EdgeStorage(int n)
        : m_n(static_cast<std::size_t>(n)),
          m_block(new std::byte[m_n * (sizeof(PolyEdge) + sizeof(ActiveEdge))]) {
        std::uninitialized_default_construct_n(Edges(), m_n);
        std::uninitialized_default_construct_n(Active(), m_n);
    }
    PolyEdge* Edges() { return reinterpret_cast<PolyEdge*>(m_block.get()); }
    ActiveEdge* Active() {
        return reinterpret_cast<ActiveEdge*>(m_block.get() + m_n * sizeof(PolyEdge));
    }

  private:
    static_assert(std::is_trivially_destructible_v<PolyEdge> &&
                  std::is_trivially_destructible_v<ActiveEdge>);
    static_assert(sizeof(PolyEdge) % alignof(ActiveEdge) == 0);
    std::size_t m_n;
    std::unique_ptr<std::byte[]> m_block;
};

// Inclusive window of columns and rows that the edges are taken for.
struct EdgeWindow {
    std::int64_t left, top, right, bottom;
};

// Vertex flags over the table edges in polygon order, each edge compared with its cyclic
// neighbours among the table edges (dropped edges are skipped over).
void SetVertexFlags(PolyEdge* table, int m) {
    for (int i = 0; i < m; ++i) {
        PolyEdge& e = table[i];
        const bool prev = table[(i + m - 1) % m].downward;
        const bool next = table[(i + 1) % m].downward;
        e.topTurns = (e.downward ? prev : next) != e.downward;
        e.bottomTurns = (e.downward ? next : prev) != e.downward;
    }
}

// Fills the table with the edges that have a row inside the window, in polygon order, with
// their flags and their positions at their top row. Returns the number of edges, or 0 when
// none reaches the window's rows or all of them lie on one side of its columns.
int BuildEdgeTable(const tagPOINT* points, int n, const EdgeWindow& w, PolyEdge* table) {
    int m = 0;
    bool anyCrossing = false, anyLeft = false, anyRight = false;
    for (int i = 0; i < n; ++i) {
        const tagPOINT& p0 = points[i];
        const tagPOINT& p1 = points[i + 1 < n ? i + 1 : 0];
        if (p0.y == p1.y) continue;  // horizontal edges take no part
        if (p0.y < w.top && p1.y < w.top) continue;
        if (p0.y > w.bottom && p1.y > w.bottom) continue;
        if (p0.x < w.left && p1.x < w.left)
            anyLeft = true;
        else if (p0.x > w.right && p1.x > w.right)
            anyRight = true;
        else
            anyCrossing = true;

        PolyEdge& e = *new (&table[m++]) PolyEdge{};
        e.downward = p1.y > p0.y;
        const tagPOINT& top = e.downward ? p0 : p1;
        const tagPOINT& bottom = e.downward ? p1 : p0;
        e.topX = top.x;
        e.topY = top.y;
        e.bottomX = bottom.x;
        e.bottomY = bottom.y;
        const std::int64_t dx = e.bottomX - e.topX;
        const std::uint64_t adx = static_cast<std::uint64_t>(dx < 0 ? -dx : dx);
        const std::uint64_t dy = static_cast<std::uint64_t>(e.bottomY - e.topY);
        e.sign = dx < 0 ? -1 : 1;
        e.steep = adx < dy + 1;
        // Rounded column: floor((k|dx| + dy div 2) / dy). Run end, where the edge meets the
        // lower boundary of row k: floor(((2k + 1)|dx|) / (2dy)) = floor((k|dx| + |dx| div 2) /
        // dy).
        e.centre = Dda::Start(adx, dy, dy / 2);
        e.runEnd = Dda::Start(adx, dy, adx / 2);
        e.runStartX = e.topX;
    }
    if (m == 0 || (!anyCrossing && !(anyLeft && anyRight))) return 0;
    SetVertexFlags(table, m);
    return m;
}

// Sorts by key, ascending, by exchange: entry i is swapped with a later entry j when its key
// is greater. Equal keys keep their order relative to the entries compared. The list comes
// sorted from the previous row except for entries appended at event rows and the rare pair
// that changed places, so the comparisons that cannot swap are skipped: while pass i runs
// over a sorted prefix, entry i only ever gets smaller and the prefix entries behind it are
// no smaller than it was, so only the entries past the prefix are compared. The swaps are
// those of the full exchange sort.
void SortByKey(ActiveEdge* list, int count) {
    int sorted = 1;  // length of the non-decreasing prefix
    while (sorted < count && list[sorted - 1].key <= list[sorted].key) ++sorted;
    for (int i = 0; i + 1 < count && sorted < count; ++i)
        for (int j = std::max(i + 1, sorted); j < count; ++j)
            if (list[i].key > list[j].key) std::swap(list[i], list[j]);
}

// Even-odd walk over the crossings of one row in key order. The two crossings that a
// pass-through vertex contributes (the edge ending there and the edge starting there) count
// as one: the first waits for the second, at which inside is not inverted.
class CrossingWalk {
  public:
    explicit CrossingWalk(bool firstPassesThrough) : m_waiting(firstPassesThrough) {}
    bool Inside() const { return m_inside; }
    void Cross(bool passesThrough) {
        if (!(m_waiting && passesThrough)) m_inside = !m_inside;
        m_waiting = m_waiting != passesThrough;
    }

  private:
    bool m_inside = true;
    bool m_waiting;
};

// ---- Scan conversion ------------------------------------------------------------------------

// Selection sort by top row: for each position, the smallest top y among the later ones,
// the last compared of equal ones winning, swapped into place. This order decides how edges
// with the same top row enter the active list, and so the order of equal keys.
void SortByTopRow(PolyEdge* table, int m) {
    for (int i = 0; i + 1 < m; ++i) {
        int choice = i;
        for (int j = i + 1; j < m; ++j)
            if (table[j].topY <= table[choice].topY) choice = j;
        std::swap(table[i], table[choice]);
    }
}

// Moves an edge k >= 1 rows on, to the state the row loop would have left it in: the run on
// the new row starts one column past the run end of the row before it.
void AdvanceRows(PolyEdge& e, std::uint64_t k) {
    e.centre.Advance(k);
    e.runEnd.Advance(k - 1);
    e.runStartX = e.XOf(e.runEnd) + e.sign;
    e.runEnd.Step();
}

// The edge's rounded column on row top y + k, 0 <= k <= dy.
std::int64_t CentreColumn(const PolyEdge& e, std::uint64_t k) {
    const std::int64_t dx = e.bottomX - e.topX;
    const std::uint64_t dy = static_cast<std::uint64_t>(e.bottomY - e.topY);
    Dda d = Dda::Start(static_cast<std::uint64_t>(dx < 0 ? -dx : dx), dy, dy / 2);
    d.Advance(k);
    return e.XOf(d);
}

// Key and covered columns of one active edge on this row; then the edge steps to the next.
void StepActiveEdge(ActiveEdge& a, std::int64_t row) {
    PolyEdge& e = *a.edge;
    a.key = e.XOf(e.centre);
    e.centre.Step();
    if (e.steep) {
        a.runLeft = a.runRight = a.key;
        return;
    }
    const std::int64_t runEndX = row == e.bottomY ? e.bottomX : e.XOf(e.runEnd);
    a.runLeft = e.sign > 0 ? e.runStartX : runEndX;
    a.runRight = e.sign > 0 ? runEndX : e.runStartX;
    e.runStartX = runEndX + e.sign;
    e.runEnd.Step();
}

short StoredColumn(std::int64_t x) {
    return static_cast<short>(std::min<std::int64_t>(x, 32767));
}

class SpanWriter {
  public:
    SpanWriter(tagHorzLine* lines, int maxLines, std::int64_t clipWidth)
        : m_lines(lines), m_max(maxLines), m_width(clipWidth) {}
    int Count() const { return m_count; }
    std::int64_t Width() const { return m_width; }
    // Emits the spans of one row from the active list in key order; false once full.
    bool EmitRow(const ActiveEdge* list, int count, std::int64_t row) {
        CrossingWalk walk(list[0].edge->PassesThroughOn(row));
        for (int k = 0; k + 1 < count; ++k) {
            if (walk.Inside()) {
                const std::int64_t left = std::min(list[k].runLeft, list[k + 1].runLeft);
                const std::int64_t right = std::max(list[k].runRight, list[k + 1].runRight);
                if (left <= m_width - 1 && right >= 0) {
                    tagHorzLine& span = m_lines[m_count++];
                    span.y = static_cast<short>(static_cast<std::uint16_t>(row));
                    span.left = StoredColumn(std::max<std::int64_t>(left, 0));
                    span.right = StoredColumn(std::min(right, m_width - 1));
                    if (m_count == m_max) return false;
                }
            }
            walk.Cross(list[k + 1].edge->PassesThroughOn(row));
        }
        return true;
    }

  private:
    tagHorzLine* m_lines;
    int m_max;
    std::int64_t m_width;
    int m_count = 0;
};

// Rows on which no edge comes near the clip columns. On a row with no vertex, the columns an
// edge covers lie between its rounded columns on the rows before and after, and an edge's
// column moves one way only. So when, from row r - 1 to row `last` + 1, every edge keeps its
// rounded column on one side of the clip columns, no edge covers a clip column on rows
// r..`last` and the columns stay in one gap between edges: if row r emitted nothing, that gap
// is outside the polygon and rows r + 1..`last` emit nothing either.
class OutsideRows {
  public:
    OutsideRows(const ActiveEdge* list, int count, std::int64_t width)
        : m_list(list), m_count(count), m_width(width) {}

    // The last row of r..`limit` up to which every edge keeps away from the clip columns
    // (r when one comes near them by row r + 2).
    // Requires: r < `limit`; rows r - 1 through `limit` + 1 lie within every edge's rows.
    std::int64_t LastRow(std::int64_t r, std::int64_t limit) const {
        // Gallop to bracket the last good row, then bisect. KeepAway holds for every row up
        // to some row and for none after it; `bad` is a row it fails for, or one past limit.
        std::int64_t good = r, bad = limit + 1;
        for (std::int64_t step = 1; good + step < bad; step *= 2) {
            if (!KeepAway(r, good + step)) {
                bad = good + step;
                break;
            }
            good += step;
        }
        while (bad - good > 1) {
            const std::int64_t mid = good + (bad - good) / 2;
            (KeepAway(r, mid) ? good : bad) = mid;
        }
        return good;
    }

  private:
    // Every edge is on one side of the clip columns on row r - 1 and still on it on last + 1.
    bool KeepAway(std::int64_t r, std::int64_t last) const {
        for (int i = 0; i < m_count; ++i) {
            const PolyEdge& e = *m_list[i].edge;
            const int side = SideOf(CentreColumn(e, static_cast<std::uint64_t>(r - 1 - e.topY)));
            if (side == 0 ||
                side != SideOf(CentreColumn(e, static_cast<std::uint64_t>(last + 1 - e.topY))))
                return false;
        }
        return true;
    }
    int SideOf(std::int64_t x) const { return x < 0 ? -1 : x >= m_width ? 1 : 0; }

    const ActiveEdge* m_list;
    int m_count;
    std::int64_t m_width;
};

// The row sweep over a table sorted by top row.
int SweepRows(PolyEdge* table, int m, ActiveEdge* active, std::int64_t height, SpanWriter& out) {
    constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max();
    int taken = 0;  // edges taken from the table so far
    int count = 0;  // entries in the active list
    std::int64_t minBottom = kNone;
    std::int64_t row = std::max<std::int64_t>(0, table[0].topY);
    for (;;) {
        if (row >= height) break;
        // New edges; on the first row also those that start above row 0.
        for (; taken < m && table[taken].topY <= row; ++taken) {
            new (&active[count++]) ActiveEdge{&table[taken]};
            minBottom = std::min(minBottom, table[taken].bottomY);
        }
        if (count == 0) break;
        const std::int64_t nextEvent = taken < m ? table[taken].topY : kNone;
        for (;;) {
            for (int i = 0; i < count; ++i) StepActiveEdge(active[i], row);
            SortByKey(active, count);
            const int before = out.Count();
            if (!out.EmitRow(active, count, row)) return out.Count();
            // A row that emitted nothing, away from every vertex: skip the rows after it on
            // which nothing can be emitted (a polygon far taller than the area may otherwise
            // walk some two billion empty rows).
            const std::int64_t skipLimit = std::min({nextEvent, minBottom, height}) - 1;
            if (out.Count() == before && row > table[taken - 1].topY && row < skipLimit) {
                const std::int64_t last =
                    OutsideRows(active, count, out.Width()).LastRow(row, skipLimit);
                if (last > row) {
                    for (int i = 0; i < count; ++i)
                        AdvanceRows(*active[i].edge, static_cast<std::uint64_t>(last - row));
                    row = last;
                }
            }
            if (++row >= height) return out.Count();
            if (row > minBottom) {
                for (int i = 0; i < count;) {
                    if (active[i].edge->bottomY < row)
                        active[i] = active[--count];
                    else
                        ++i;
                }
                minBottom = kNone;
                for (int i = 0; i < count; ++i)
                    minBottom = std::min(minBottom, active[i].edge->bottomY);
            }
            if (row == nextEvent || count == 0) break;
        }
    }
    return out.Count();
}

}  // namespace

int ScanConvertPolygon(const tagPOINT* points, int nPoints, int clipWidth, int clipHeight,
                       tagHorzLine* lines, int maxLines) {
    if (points == nullptr || nPoints < 2 || lines == nullptr || maxLines < 1 || clipWidth <= 0 ||
        clipHeight <= 0)
        return 0;
    EdgeStorage storage(nPoints);
    PolyEdge* table = storage.Edges();
    const EdgeWindow window{0, 0, std::int64_t{clipWidth} - 1, std::int64_t{clipHeight} - 1};
    const int m = BuildEdgeTable(points, nPoints, window, table);
    if (m == 0) return 0;
    SortByTopRow(table, m);
    for (int i = 0; i < m && table[i].topY < 0; ++i)
        AdvanceRows(table[i], static_cast<std::uint64_t>(-table[i].topY));
    SpanWriter out(lines, maxLines, clipWidth);
    return SweepRows(table, m, storage.Active(), clipHeight, out);
}

bool PointInPolygon(tagPOINT pt, const tagPOINT* points, int nPoints) {
    if (points == nullptr || nPoints < 2) return false;
    EdgeStorage storage(nPoints);
    PolyEdge* table = storage.Edges();
    const EdgeWindow window{pt.x, pt.y, pt.x, pt.y};
    const int m = BuildEdgeTable(points, nPoints, window, table);
    if (m == 0) return false;
    // Every table edge crosses row py; key = its rounded column there.
    ActiveEdge* list = storage.Active();
    for (int i = 0; i < m; ++i) {
        PolyEdge& e = table[i];
        Dda centre = e.centre;
        centre.Advance(static_cast<std::uint64_t>(pt.y - e.topY));
        new (&list[i]) ActiveEdge{&e, e.XOf(centre)};
    }
    SortByKey(list, m);
    CrossingWalk walk(list[0].edge->PassesThroughOn(pt.y));
    for (int k = 1; k < m; ++k) {
        if (walk.Inside() && list[k - 1].key <= pt.x && pt.x <= list[k].key) return true;
        walk.Cross(list[k].edge->PassesThroughOn(pt.y));
    }
    return false;
}

}  // namespace Zumeld
