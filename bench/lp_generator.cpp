// lp_generator: larger sparse linear programs than Netlib's, written as fixed-format MPS on
// standard output, feasible and bounded by construction.
//
//   lp_generator network   ARCS  [SEED]   min-cost flow on ARCS / 6 nodes (flow conservation rows,
//                                          arc capacities), supplies from a random feasible flow
//   lp_generator random    ROWS  [SEED]   2 x ROWS columns of 4 to 8 entries, rows <=, >= and =
//                                          about a random point, boxed columns, random costs
//   lp_generator covering  ROWS  [SEED]   4 x ROWS columns covering 3 to 10 rows, one in a hundred
//                                          covering 10 to 30 % of them; cost grows with coverage
//   lp_generator staircase PERIODS [SEED] production planning: 100 products and 20 resources per
//                                          period, inventories linking each period to the next
//
// Names are R<7 digits> and C<7 digits>; the objective row is COST and comes first.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

struct Lp {
  std::vector<char> rowType;  // 'E', 'L', 'G'
  std::vector<double> rhs;
  std::vector<std::vector<std::pair<int, double>>> columns;  // (row, value), row -1 = objective
  std::vector<double> lower, upper;                          // per column

  int addRow(char type, double r) {
    rowType.push_back(type);
    rhs.push_back(r);
    return static_cast<int>(rhs.size()) - 1;
  }
  int addColumn(double lo, double up) {
    columns.emplace_back();
    lower.push_back(lo);
    upper.push_back(up);
    return static_cast<int>(columns.size()) - 1;
  }
};

// A number in at most 12 characters, as the fixed MPS fields want.
std::string field(double v) {
  char text[32];
  for (int digits = 10; digits >= 1; --digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    if (std::string(text).size() <= 12) break;
  }
  return text;
}

void write(const Lp& lp, const char* name) {
  std::printf("NAME          %s\nROWS\n N  COST\n", name);
  for (size_t i = 0; i < lp.rhs.size(); ++i) std::printf(" %c  R%07zu\n", lp.rowType[i], i);
  std::printf("COLUMNS\n");
  for (size_t j = 0; j < lp.columns.size(); ++j) {
    std::vector<std::pair<int, double>> entries = lp.columns[j];
    std::sort(entries.begin(), entries.end());
    for (const auto& [row, value] : entries) {
      const std::string rowName = row < 0
                                      ? "COST"
                                      : "R" + std::string(7 - std::to_string(row).size(), '0') + std::to_string(row);
      std::printf("    C%07zu  %-8s  %12s\n", j, rowName.c_str(), field(value).c_str());
    }
  }
  std::printf("RHS\n");
  for (size_t i = 0; i < lp.rhs.size(); ++i)
    if (lp.rhs[i] != 0.0) std::printf("    RHS       R%07zu  %12s\n", i, field(lp.rhs[i]).c_str());
  std::printf("BOUNDS\n");
  for (size_t j = 0; j < lp.columns.size(); ++j) {
    if (lp.lower[j] == lp.upper[j]) {
      std::printf(" FX BND       C%07zu  %12s\n", j, field(lp.lower[j]).c_str());
      continue;
    }
    if (lp.lower[j] != 0.0) std::printf(" LO BND       C%07zu  %12s\n", j, field(lp.lower[j]).c_str());
    if (lp.upper[j] < 1e20) std::printf(" UP BND       C%07zu  %12s\n", j, field(lp.upper[j]).c_str());
  }
  std::printf("ENDATA\n");
}

Lp network(int arcs, std::mt19937& rng) {
  const int nodes = std::max(2, arcs / 6);
  std::uniform_int_distribution<int> node(0, nodes - 1), cost(1, 100), capacity(10, 1000);
  Lp lp;
  for (int v = 0; v < nodes; ++v) lp.addRow('E', 0.0);
  std::vector<double> supply(static_cast<size_t>(nodes), 0.0);
  auto arc = [&](int from, int to) {
    const double cap = capacity(rng);
    const int j = lp.addColumn(0.0, cap);
    lp.columns[static_cast<size_t>(j)] = {{-1, static_cast<double>(cost(rng))}, {from, 1.0}, {to, -1.0}};
    // A feasible flow: up to half the capacity on every arc.
    const double flow = std::uniform_real_distribution<double>(0.0, 0.5)(rng) * cap;
    const double rounded = static_cast<double>(static_cast<int64_t>(flow));
    supply[static_cast<size_t>(from)] += rounded;
    supply[static_cast<size_t>(to)] -= rounded;
  };
  for (int v = 0; v < nodes; ++v) arc(v, (v + 1) % nodes);  // a cycle keeps the graph connected
  for (int a = nodes; a < arcs; ++a) {
    const int from = node(rng);
    int to = node(rng);
    if (to == from) to = (to + 1) % nodes;
    arc(from, to);
  }
  for (int v = 0; v < nodes; ++v) lp.rhs[static_cast<size_t>(v)] = supply[static_cast<size_t>(v)];
  return lp;
}

Lp random(int rows, std::mt19937& rng) {
  Lp lp;
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const int cols = 2 * rows;
  std::vector<double> point(static_cast<size_t>(cols));
  for (int j = 0; j < cols; ++j) {
    lp.addColumn(0.0, 20.0);
    point[static_cast<size_t>(j)] = std::floor(unit(rng) * 200.0) / 10.0;
    lp.columns[static_cast<size_t>(j)].push_back({-1, std::round(unit(rng) * 200.0 - 100.0)});
  }
  std::vector<double> activity(static_cast<size_t>(rows), 0.0);
  for (int j = 0; j < cols; ++j) {
    const int count = 4 + static_cast<int>(rng() % 5);
    for (int k = 0; k < count; ++k) {
      const int i = static_cast<int>(rng() % static_cast<unsigned>(rows));
      const double a = std::round(unit(rng) * 18.0 - 9.0);
      if (a == 0.0) continue;
      lp.columns[static_cast<size_t>(j)].push_back({i, a});
      activity[static_cast<size_t>(i)] += a * point[static_cast<size_t>(j)];
    }
  }
  // Merge repeated (row, column) entries.
  for (auto& column : lp.columns) {
    std::map<int, double> merged;
    for (const auto& [row, value] : column) merged[row] += value;
    column.assign(merged.begin(), merged.end());
    column.erase(std::remove_if(column.begin(), column.end(), [](const auto& e) { return e.second == 0.0; }),
                 column.end());
  }
  for (int i = 0; i < rows; ++i) {
    const double act = activity[static_cast<size_t>(i)];
    const double kind = unit(rng);
    if (kind < 0.2) lp.addRow('E', act);
    else if (kind < 0.6) lp.addRow('L', std::ceil(act + unit(rng) * 10.0));
    else lp.addRow('G', std::floor(act - unit(rng) * 10.0));
  }
  return lp;
}

Lp covering(int rows, std::mt19937& rng) {
  Lp lp;
  for (int i = 0; i < rows; ++i) lp.addRow('G', 1.0);
  const int cols = 4 * rows;
  std::vector<int> members;
  for (int j = 0; j < cols; ++j) {
    const bool dense = j % 100 == 0;
    const int count = dense ? rows / 10 + static_cast<int>(rng() % static_cast<unsigned>(rows / 5 + 1))
                            : 3 + static_cast<int>(rng() % 8);
    members.clear();
    while (static_cast<int>(members.size()) < std::min(count, rows)) {
      const int i = static_cast<int>(rng() % static_cast<unsigned>(rows));
      if (std::find(members.begin(), members.end(), i) == members.end()) members.push_back(i);
    }
    lp.addColumn(0.0, 1e30);
    auto& column = lp.columns.back();
    for (int i : members) column.push_back({i, 1.0});
    column.push_back(
        {-1, std::round(count * (0.5 + 0.5 * std::uniform_real_distribution<double>(0.0, 1.0)(rng)) + 1.0)});
  }
  return lp;
}

Lp staircase(int periods, std::mt19937& rng) {
  const int products = 100, resources = 20;
  Lp lp;
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<std::vector<double>> use(resources, std::vector<double>(products));
  for (auto& r : use)
    for (double& a : r) a = unit(rng) < 0.3 ? std::round(1.0 + unit(rng) * 9.0) : 0.0;
  std::vector<int> previousStock(static_cast<size_t>(products), -1);
  for (int t = 0; t < periods; ++t) {
    std::vector<int> balance(static_cast<size_t>(products));
    for (int p = 0; p < products; ++p) {
      const double demand = std::round(unit(rng) * 50.0);
      balance[static_cast<size_t>(p)] = lp.addRow('E', demand);  // stock_in + make - stock_out = demand
    }
    std::vector<int> capacity(static_cast<size_t>(resources));
    for (int r = 0; r < resources; ++r) {
      double need = 0.0;
      for (int p = 0; p < products; ++p) need += use[static_cast<size_t>(r)][static_cast<size_t>(p)] * 25.0;
      capacity[static_cast<size_t>(r)] = lp.addRow('L', std::round(need * (1.5 + 0.4 * unit(rng))));
    }
    for (int p = 0; p < products; ++p) {
      const int make = lp.addColumn(0.0, 1e30);
      auto& column = lp.columns[static_cast<size_t>(make)];
      column.push_back({-1, std::round(10.0 + unit(rng) * 10.0)});
      column.push_back({balance[static_cast<size_t>(p)], 1.0});
      for (int r = 0; r < resources; ++r)
        if (use[static_cast<size_t>(r)][static_cast<size_t>(p)] != 0.0)
          column.push_back({capacity[static_cast<size_t>(r)], use[static_cast<size_t>(r)][static_cast<size_t>(p)]});
      if (previousStock[static_cast<size_t>(p)] >= 0)
        lp.columns[static_cast<size_t>(previousStock[static_cast<size_t>(p)])].push_back(
            {balance[static_cast<size_t>(p)], 1.0});
      // Stock carried to the next period (the last one's is worth nothing).
      const int stock = lp.addColumn(0.0, 1e30);
      lp.columns[static_cast<size_t>(stock)] = {{-1, 1.0}, {balance[static_cast<size_t>(p)], -1.0}};
      previousStock[static_cast<size_t>(p)] = stock;
    }
  }
  return lp;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: lp_generator network|random|covering|staircase SIZE [SEED]\n");
    return 2;
  }
  const std::string kind = argv[1];
  const int size = std::atoi(argv[2]);
  std::mt19937 rng(argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u);
  if (size < 2) {
    std::fprintf(stderr, "lp_generator: SIZE must be at least 2\n");
    return 2;
  }
  Lp lp;
  if (kind == "network") lp = network(size, rng);
  else if (kind == "random") lp = random(size, rng);
  else if (kind == "covering") lp = covering(size, rng);
  else if (kind == "staircase") lp = staircase(size, rng);
  else {
    std::fprintf(stderr, "lp_generator: unknown kind %s\n", kind.c_str());
    return 2;
  }
  write(lp, kind.c_str());
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
