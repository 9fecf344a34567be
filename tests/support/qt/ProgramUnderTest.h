#pragma once
#include "service/SongList.h"
#include "tests/support/TempDir.h"

#include <QString>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CMainDlg;

// The whole program in-process, for end-to-end runs: a working folder of its own that the
// process works in (config.ini pointing at the station with the demo account remembered and
// signed in automatically, the cache folders, the res images), and the main window shown on a
// song list of its own. Needs a QApplication.
class ProgramUnderTest {
public:
    explicit ProgramUnderTest(const std::string& stationBase);
    ~ProgramUnderTest(); // ends the window's workers if it is still open
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    // Creates the window with the demo account and shows it, as the program's start does with
    // an account remembered for automatic sign-in.
    CMainDlg& Open();
    CMainDlg* Window() const { return window.get(); }
    SongList& Songs() { return songs; }
    // As the close box: stop, save the settings, end the workers, empty the cache.
    void Close();

    // Runs the event loop for ms, waiting for events rather than spinning.
    static void Pump(int ms);
    // Runs it until done holds (checked every 10 ms at least); false when ms pass first.
    static bool PumpUntil(const std::function<bool()>& done, int ms);

    struct Position {
        int index = -1;
        std::string sid;
        float seconds = 0;
        int state = 0; // CAudioPlayer::PlayState; 0 without a player
    };
    Position Now() const;
    // Every status text the window has shown, in order.
    const std::vector<QString>& Statuses() const { return statuses; }
    std::string Describe() const; // where playback and the window stand, for failure messages

    const std::filesystem::path& Folder() const { return dir.Path(); }
    // The regular files below the working folder but outside Temp/, config.ini excluded, with
    // their bytes.
    std::map<std::string, std::string> FilesOutsideCache() const;
    // The regular files in the three cache folders (relative path -> bytes, or nothing without
    // withBytes), and any other entry below Temp/ as a path with no bytes.
    std::map<std::string, std::string> CacheFiles(bool withBytes = true) const;

private:
    TempDir dir;
    SongList songs;
    std::unique_ptr<CMainDlg> window;
    std::vector<QString> statuses;
};
