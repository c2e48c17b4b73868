#pragma once
// The notification-area icon. The record keeps the fields of the classic
// shell record that matter here; QSystemTrayIcon stands in for the shell.

#include <QIcon>
#include <QPointer>

#include <array>
#include <cstdint>

class QSystemTrayIcon;
class QWidget;

struct TTrayIconData {
    std::uint32_t cbSize = 0;
    QPointer<QWidget> Wnd;            // receives the callback: its invokable TrayIconCallback(int)
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    std::array<char, 64> szTip{};     // NUL-terminated, at most 63 characters
};

inline constexpr std::uint32_t TrayIconRecordSize = 88;
inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;
inline constexpr std::uint32_t TrayIconCallbackMessage = 1147;
inline constexpr int WM_LBUTTONDOWN = 513;
inline constexpr int WM_RBUTTONDOWN = 516;

// Adds the icon the record describes; a desktop without a tray gets none.
void AddTrayIcon(TTrayIconData data);
// Removes it again; true when an icon was removed.
bool RemoveTrayIcon(TTrayIconData data);
// The icon that AddTrayIcon gave `window`, or null.
QSystemTrayIcon* TrayIconOf(const QWidget* window);
