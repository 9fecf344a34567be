#include "tests/support/qt/ProgramUnderTest.h"

#include "app/CMainDlg.h"
#include "playback/CAudioPlayer.h"
#include "tools/DemoCatalog.h"
#include "tools/DemoStation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

std::optional<std::string> ReadAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    if (!f)
        return std::nullopt;
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

} // namespace

ProgramUnderTest::ProgramUnderTest(const std::string& stationBase) : dir(true) {
    if (!DemoStation::WriteClientFolder(dir.Path().string(), stationBase))
        throw std::runtime_error("cannot prepare the working folder");
    fs::create_directories("res");
    for (const char* image : {"album.jpg", "vol.jpg", "fm.jpg", "account.jpg"})
        fs::copy_file(fs::path(LANTOR_SOURCE_DIR) / "res" / image, fs::path("res") / image);
}

ProgramUnderTest::~ProgramUnderTest() {
    window.reset();
}

CMainDlg& ProgramUnderTest::Open() {
    window = std::make_unique<CMainDlg>(songs);
    QObject::connect(window.get(), &CMainDlg::statusTextChanged,
                     [this](const QString& text) { statuses.push_back(text); });
    window->SetCredentials(DemoCatalog::kEmail, DemoCatalog::kPassword);
    window->SetAutoSignIn(true); // the account remembered in config.ini, as the start uses it
    window->OnInitDialog();
    window->show();
    return *window;
}

void ProgramUnderTest::Close() {
    if (window)
        window->close();
}

void ProgramUnderTest::Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool ProgramUnderTest::PumpUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= ms)
            return false;
        Pump(10);
    }
    return true;
}

ProgramUnderTest::Position ProgramUnderTest::Now() const {
    Position p;
    if (!window || !window->Player())
        return p;
    NowPlayingInfo info;
    window->Player()->GetNowPlaying(info);
    p.index = info.index;
    p.sid = info.sid;
    p.seconds = window->Player()->GetPosition();
    p.state = window->Player()->GetPlayState();
    return p;
}

std::string ProgramUnderTest::Describe() const {
    if (!window)
        return "no window";
    const Position p = Now();
    std::ostringstream s;
    s << "status \"" << window->StatusText().toStdString() << "\", song " << p.index << " (sid "
      << p.sid << ") at " << p.seconds << " s, play state " << p.state << ", " << songs.Count()
      << " songs queued";
    return s.str();
}

std::map<std::string, std::string> ProgramUnderTest::FilesOutsideCache() const {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(dir.Path());
         it != fs::recursive_directory_iterator(); ++it) {
        const fs::path rel = fs::relative(it->path(), dir.Path());
        if (rel == "Temp") {
            it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file() && rel != "config.ini")
            out[rel.generic_string()] = ReadAll(it->path()).value_or("(unreadable)");
        else if (!it->is_directory() && !it->is_regular_file())
            out[rel.generic_string()] = "(not a file)";
    }
    return out;
}

std::map<std::string, std::string> ProgramUnderTest::CacheFiles(bool withBytes) const {
    std::map<std::string, std::string> out;
    const fs::path temp = dir.Path() / "Temp";
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(temp, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string rel = fs::relative(it->path(), dir.Path()).generic_string();
        if (rel == "Temp/Music" || rel == "Temp/Album" || rel == "Temp/Lyrics")
            continue;
        if (!it->is_regular_file(ec) || !withBytes) {
            out[rel] = {};
        } else if (auto bytes = ReadAll(it->path())) {
            out[rel] = std::move(*bytes);
        } // else gone between listing and reading: renamed into place or cleaned up
    }
    return out;
}
