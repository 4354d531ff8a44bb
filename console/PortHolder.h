#pragma once

#include <QString>

// A window that holds a line, as another window that needs the same port sees it: the main
// window's connection, which the test station pauses while a fixture slot uses its port.
class PortHolder {
public:
    virtual ~PortHolder() = default;
    // The COM number the connection is on ("COM3"), empty while not connected.
    virtual QString HeldPort() const = 0;
    // Closes the connection as the connect button would, remembering it.
    virtual void ReleasePort() = 0;
    // Connects again on the port that was released, unless connected meanwhile.
    virtual void RetakePort() = 0;
};
