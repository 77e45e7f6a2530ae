#pragma once
// The Tools menu: the disc's health, its lost records and a box of discs,
// each read on the worker thread (ui/background_job.h).

#include <windows.h>

#include <cstdint>
#include <string>

#include "convert/carve.h"

namespace zep::ui {

// "Check Disc...": every listed record of the current source read once, the
// result in the check window.
void CheckCurrentDisc(HWND window);
// "Recover Lost Records...": a folder, then the ping runs carved into it.
void RecoverLostRecords(HWND window);
// "Make Inventory...": images, a folder, the inventory; then its index.html
// in the default browser.
void MakeInventoryOfImages(HWND window);

// The status line and box after a carve into folder.
std::string RecoverSummary(const CarveResult& result, const std::string& folder);

// "12.5 of 80.0 MiB".
std::string MiBText(std::uint64_t done, std::uint64_t total);

}  // namespace zep::ui
