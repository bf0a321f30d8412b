// The printer the report pages go to: the desktop's default printer (CUPS,
// through Qt's print support) unless a test puts PDF files in its place.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QPrinter;

namespace pages {

struct PrintServices {
    // A printer ready for jobs, or nullptr with the reason (GBK) in why.
    std::function<std::unique_ptr<QPrinter>(std::string& why)> open;
    // Runs before every print job (one report page each).
    std::function<void(QPrinter& printer, int page)> beforeJob;
};
PrintServices& printServices();

// The desktop's default printer at its own resolution; nullptr with the
// reason when there is none.
std::unique_ptr<QPrinter> openDefaultPrinter(std::string& why);

}  // namespace pages
