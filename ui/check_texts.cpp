#include "ui/check_texts.h"

#include <algorithm>

#include "disc/count_text.h"
#include "disc/record_names.h"

namespace zep::ui {
namespace {

constexpr int kMargin = 6, kLineHeight = 18, kButtonWidth = 80, kButtonHeight = 24;

std::string DumpAreaText(const AreaHealth& d) {
  if (d.readable()) return "dump area readable";
  if (d.beyondEnd == d.pieces) return "dump area past the end of the volume";
  return "dump area: " + std::to_string(d.unreadable) + " of " + std::to_string(d.pieces) + " pieces unreadable, " +
         std::to_string(d.beyondEnd) + " past the end";
}

std::string UnreadableText(const RecordHealth& h) {
  if (h.unreadableUnits == 0 && h.unreadable.empty()) return "0";
  return std::to_string(h.unreadableUnits) + " (" + UnitRanges(h.unreadable) + ")";
}

}  // namespace

std::string UnitRanges(const std::vector<UnitRun>& runs) { return runs.empty() ? "-" : RunList(runs, "-"); }

CheckRow CheckColumnTitles(SourceType type) {
  const std::string unit = type == SourceType::Tk40 ? "blocks" : "sectors";
  return {"Record", "Name", "Verdict", "Whole " + unit, "Unreadable " + unit, "Past the end", "Missing pings",
          "Pings with unread samples", "Pings"};
}

std::vector<CheckRow> CheckRows(const CheckReport& report) {
  std::vector<CheckRow> rows;
  for (const RecordHealth& h : report.health.records) {
    rows.push_back({std::to_string(h.slot + 1), RecordName(report.dir, h.slot, report.type), VerdictName(h.verdict),
                    std::to_string(h.wholeUnits) + " of " + std::to_string(h.units), UnreadableText(h),
                    std::to_string(h.beyondEnd), std::to_string(h.MissingPings()), std::to_string(h.unreadPings),
                    std::to_string(h.pings)});
  }
  return rows;
}

std::string CheckDiscLine(const CheckReport& report) {
  const std::string label = HasLabel(report.dir) ? "label " + RecordName(report.dir, kLabelSlot, report.type) : "no label";
  std::string line = std::string(SourceTypeName(report.type)) + " disc  \xB7  " + label + "  \xB7  " +
                     DumpAreaText(report.health.dump);
  const std::optional<SourceType> looksLike = report.evidence.type();
  if (looksLike && *looksLike != report.type) line += "  \xB7  it looks like " + report.evidence.Describe();
  if (report.directoryProblem) line += "  \xB7  directory not read whole: " + report.directoryProblem->what;
  return line;
}

std::array<int, kCheckColumns> FitColumnWidths(const CheckRow& titles, const std::vector<CheckRow>& rows,
                                               const std::function<int(const std::string&)>& measure, int padding) {
  std::array<int, kCheckColumns> widths{};
  for (std::size_t c = 0; c < widths.size(); ++c) {
    int widest = measure(titles[c]);
    for (const CheckRow& row : rows) widest = std::max(widest, measure(row[c]));
    widths[c] = widest + padding;
  }
  return widths;
}

CheckLayout ComputeCheckLayout(int clientWidth, int clientHeight) {
  CheckLayout layout;
  const int inner = std::max(0, clientWidth - 2 * kMargin);
  layout.discLine = {kMargin, kMargin, inner, kLineHeight};
  const int listTop = kMargin + kLineHeight + kMargin;
  const int buttonTop = std::max(listTop, clientHeight - kMargin - kButtonHeight);
  layout.list = {kMargin, listTop, inner, std::max(0, buttonTop - kMargin - listTop)};
  layout.close = {std::max(kMargin, clientWidth - kMargin - kButtonWidth), buttonTop, kButtonWidth, kButtonHeight};
  layout.save = {std::max(kMargin, layout.close.x - kMargin - kButtonWidth), buttonTop, kButtonWidth, kButtonHeight};
  return layout;
}

}  // namespace zep::ui
