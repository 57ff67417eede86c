#pragma once

class QMainWindow;

namespace kw {
namespace backup {
class BackgroundCopy;
}

// Follows the start-up copy of the data in the main window's status bar: a panel at its right end
// ("BackupPanel") says while the copy runs and how it ended; a copy that failed is also told in a
// message box, and the program goes on.
void showBackupProgress(QMainWindow &main, backup::BackgroundCopy &copy);

} // namespace kw
