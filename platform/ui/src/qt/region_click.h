#pragma once
// A click on a region control is accepted as the region's: the model posts
// the accepted event for it.
class QWidget;

namespace ui {

void ReportRegionClicks(QWidget* region, long handle, int control);

}  // namespace ui
