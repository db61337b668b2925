#pragma once
// The size of a page's content, decoded, against the limit it is read
// under (WorkerLimits::contentBytes).
//
// A compressed content stream can inflate a thousandfold and more: a file
// of a megabyte can hold a page of gigabytes. Such a page is never decoded
// whole, neither here nor in a poppler worker: its size is bounded from its
// compressed length and filters where that is enough, else counted as it
// inflates and given up at the limit.
namespace velmora::pdf::detail {

struct Document;

// Whether page `page` (from 1) of the document has more content than the
// limit; remembered for the current state of the document.
bool PageContentTooLarge(Document& d, int page);

}  // namespace velmora::pdf::detail
