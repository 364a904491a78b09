// What the remote-control server needs of the instrument it serves, and no
// more: where to listen, how long a client may stay silent and an *OPC? may
// wait, whether the readings follow the commands, where its notices, its
// status and a command's messages go. The window is the bench
// (window/RemoteControl.cpp); the server's commands come as rows of its
// command table, so the server itself knows neither widgets nor the window.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

namespace varmolen {

// Where the server listens, as the settings say now.
struct RemoteListen {
    bool enabled = false;   // [Remote] Enabled
    std::string address;    // [Remote] Listen: an IP address
    std::int32_t port = 0;  // [Remote] Port
};

class RemoteBench {
public:
    // Where a message goes that would otherwise be shown in a box.
    using MessageSink = std::function<void(const std::string& text, const std::string& caption)>;

    virtual ~RemoteBench() = default;

    virtual RemoteListen listenSettings() const = 0;
    // [Remote] IdleSeconds: a client silent this long is let go; 0 never.
    virtual std::int32_t idleSeconds() const = 0;
    // [Remote] OpcTimeoutSeconds: the longest an *OPC? or *WAI waits.
    virtual std::int32_t opcTimeoutSeconds() const = 0;
    // Every earlier command's effect is in the readings.
    virtual bool operationsComplete() const = 0;
    // Clients are connected: the readings are made for them even where
    // nobody at the bench looks at them.
    virtual void setRemoteReading(bool on) = 0;
    // Something that ended on its own, said for `ms` where no box waits for a
    // click.
    virtual void showNotice(const QString& text, int ms) = 0;
    // Where the server listens and how many clients it has; an empty text
    // while it listens nowhere.
    virtual void showStatus(const QString& text, const QString& toolTip) = 0;
    // While a client's command runs, what the instrument would show in a box
    // goes to `sink`. Returns the sink it replaces, which the server puts back
    // when the command ends; an empty sink shows boxes again.
    virtual MessageSink redirectMessages(MessageSink sink) = 0;
};

}  // namespace varmolen
