#pragma once

#include <QString>

#include <memory>

class QSplashScreen;
class QWidget;

namespace lumora
{

// The start-up picture: shown from the picture file given, gone once the
// first window of the program is up.
class Splash
{
public:
    Splash();
    ~Splash();
    // Any picture format, detected by content; a missing or unreadable file
    // shows nothing.
    void ShowSplash(const QString &path);
    // Closes the splash `delayMs` after `window` is shown (0: at once).
    void CloseSplash(int delayMs, QWidget *window = nullptr);
    bool isShown() const;

private:
    std::unique_ptr<QSplashScreen> m_screen;
};

} // namespace lumora
