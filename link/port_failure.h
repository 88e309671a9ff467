#pragma once
// The COM port's failure report as the operator sees it: an error box captioned
// "Application Error", whether the port itself or the page that owns it shows it.
#include <string>

class QObject;

constexpr char kPortErrorCaption[] = "Application Error";

// Shows the report and waits for the operator.
void ShowPortFailure(const std::string& report);
// The same on the page's user-interface thread, posted and never waited for: the user-interface
// thread may be joining the port's monitor thread.
void PostPortFailure(QObject* page, const std::string& report);
