#pragma once

// Every protocol message, defined here once, in the order of OrvikMessage's cases. Each row is
//
//     X(name, code, Payload, metering, whilePaused, echo)
//
//   name         the case name: the MessageType enumerator and the "type" of the JSON form
//   code         the 16-bit wire code; the high byte is the family (0x01 live input, 0x02 session and handshake,
//                0x03 commands, 0x04 status and queries, 0x05 screen viewing)
//   Payload      the payload type, one type per message
//   metering     metered: spends one of the session's command tokens (refused with rateLimited when none is
//                left); free: never refused for rate
//   whilePaused  yes: served while the helper's control is paused; no: not (refused with paused unless the
//                helper drops it or serves it before the pause gate); whenOff: only when it turns the overlay off
//   echo         requestID: a refusal is a commandResult echoing the payload's requestID; none: an error message
//
// The last three are the helper's dispatch contract, which phones rely on as well (see MessageRouting).
#define ORVIK_MESSAGE_LIST(X)                                                                                          \
    X(pointerMove, 0x0101, PointerMove, free, no, none)                                                                \
    X(button, 0x0102, ButtonEvent, free, no, none)                                                                     \
    X(scroll, 0x0103, ScrollEvent, free, no, none)                                                                     \
    X(key, 0x0104, KeyEvent, free, no, none)                                                                           \
    X(ping, 0x0105, Ping, free, no, none)                                                                              \
    X(pong, 0x0106, Pong, free, no, none)                                                                              \
    X(pointerAbsolute, 0x0107, PointerAbsolute, free, no, none)                                                        \
    X(hello, 0x0201, Hello, metered, no, none)                                                                         \
    X(helloAck, 0x0202, HelloAck, metered, no, none)                                                                   \
    X(authenticate, 0x0203, Authenticate, metered, no, none)                                                           \
    X(authenticated, 0x0204, Authenticated, metered, no, none)                                                         \
    X(pairRequest, 0x0205, PairRequest, metered, no, none)                                                             \
    X(pairAccepted, 0x0206, PairAccepted, metered, no, none)                                                           \
    X(error, 0x0207, ErrorMessage, metered, no, none)                                                                  \
    X(text, 0x0301, TextInput, metered, no, none)                                                                      \
    X(media, 0x0302, MediaCommand, metered, no, none)                                                                  \
    X(volumeSet, 0x0303, VolumeSet, metered, no, none)                                                                 \
    X(presentation, 0x0304, PresentationCommand, metered, no, none)                                                    \
    X(power, 0x0305, PowerCommand, metered, no, requestID)                                                             \
    X(appCommand, 0x0306, AppCommand, metered, no, requestID)                                                          \
    X(shortcutRun, 0x0307, ShortcutRun, metered, no, requestID)                                                        \
    X(sendURL, 0x0308, SendURL, metered, no, requestID)                                                                \
    X(clipboardSet, 0x0309, ClipboardSet, metered, no, requestID)                                                      \
    X(overlay, 0x030A, OverlayCommand, metered, whenOff, none)                                                         \
    X(commandResult, 0x030B, CommandResult, metered, no, none)                                                         \
    X(status, 0x0401, HelperStatus, metered, no, none)                                                                 \
    X(appsListRequest, 0x0402, AppsListRequest, metered, yes, requestID)                                               \
    X(appsList, 0x0403, AppsList, metered, no, none)                                                                   \
    X(appIconRequest, 0x0404, AppIconRequest, metered, yes, requestID)                                                 \
    X(appIcon, 0x0405, AppIcon, metered, no, none)                                                                     \
    X(runningAppsRequest, 0x0406, RunningAppsRequest, metered, yes, requestID)                                         \
    X(runningApps, 0x0407, RunningApps, metered, no, none)                                                             \
    X(shortcutsListRequest, 0x0408, ShortcutsListRequest, metered, yes, requestID)                                     \
    X(shortcutsList, 0x0409, ShortcutsList, metered, no, none)                                                         \
    X(clipboardGet, 0x040A, ClipboardGet, metered, no, requestID)                                                      \
    X(clipboardContent, 0x040B, ClipboardContent, metered, no, none)                                                   \
    X(screenDisplaysRequest, 0x0501, ScreenDisplaysRequest, metered, no, none)                                         \
    X(screenDisplays, 0x0502, ScreenDisplays, metered, no, none)                                                       \
    X(screenStart, 0x0503, ScreenStart, metered, no, none)                                                             \
    X(screenStarted, 0x0504, ScreenStarted, metered, no, none)                                                         \
    X(screenConfigure, 0x0505, ScreenConfigure, metered, no, none)                                                     \
    X(screenFormat, 0x0506, ScreenFormat, metered, no, none)                                                           \
    X(screenFrame, 0x0507, ScreenFrame, metered, no, none)                                                             \
    X(screenFrameAck, 0x0508, ScreenFrameAck, free, no, none)                                                          \
    X(screenState, 0x0509, ScreenState, metered, no, none)                                                             \
    X(requestUpdateCheck, 0x0208, RequestUpdateCheck, metered, no, none)                                               \
    X(unpair, 0x0209, Unpair, metered, no, none)                                                                       \
    X(cancelSleepTimer, 0x030C, CancelSleepTimer, metered, yes, none)                                                  \
    X(statusRequest, 0x040C, StatusRequest, free, yes, none)                                                           \
    X(screenStop, 0x050A, ScreenStop, metered, no, none)                                                               \
    X(screenKeyframeRequest, 0x050B, ScreenKeyframeRequest, metered, no, none)
