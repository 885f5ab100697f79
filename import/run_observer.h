#pragma once
// Where the run reports what it is doing while it works: the window shows it, the headless
// mode and the tests may look at it. Called on the run's own thread, between its steps.
#include <string>

#include "core/date.h"

namespace importer {

class RunObserver {
  public:
    virtual ~RunObserver() = default;

    // The panel that says what the program is busy with: shown with `text`, or hidden.
    virtual void panelText(const std::string& text) = 0;
    virtual void panelHidden() = 0;
    // The box that names the invoice being stored: shown, then its text.
    virtual void invoiceBoxShown() = 0;
    virtual void invoiceText(const std::string& text) = 0;
    // The file now read: the date its name gives and its point of sale's prefix.
    virtual void fileShown(const core::Date& date, const std::string& prefix) = 0;
    // The progress bar moves one step.
    virtual void progressStep() = 0;
    // A line for the folder's error log (not sent by a check, which writes nothing).
    virtual void logLine(const std::string& folder, const std::string& text) = 0;
};

}  // namespace importer
