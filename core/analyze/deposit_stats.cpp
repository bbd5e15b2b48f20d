#include "analyze/deposit_stats.h"

#include <algorithm>

#include "denote/deposit.h"
#include "json/writer.h"

namespace tolm::analyze {

DepositStats deposit_stats(const ir::lo::Program &program, int64_t resolution_um) {
  DepositStats stats;
  stats.resolution_um = denote::effective_resolution(resolution_um);
  const denote::Deposit deposit = denote::denote_lo_deposit(program, stats.resolution_um);
  for (const denote::LayerDeposit &layer : deposit.layers)
    for (const denote::CellCount &cell : layer.cells) {
      ++stats.total_cells;
      if (cell.count > 1)
        ++stats.over_deposited_cells;
      stats.redeposited_cells += cell.count - 1;
      stats.max_multiplicity = std::max(stats.max_multiplicity, cell.count);
    }
  return stats;
}

void write_deposit_stats(json::Writer &writer, const DepositStats &stats) {
  writer.begin_object();
  writer.member("resolution_um", stats.resolution_um);
  writer.member("total_cells", stats.total_cells);
  writer.member("over_deposited_cells", stats.over_deposited_cells);
  writer.member("redeposited_cells", stats.redeposited_cells);
  writer.member("max_multiplicity", static_cast<uint64_t>(stats.max_multiplicity));
  writer.end_object();
}

} // namespace tolm::analyze
