#pragma once

// Shows the busy mouse pointer over every window of the program while it lives: a write that
// blocks the window (up to about 12 s when the module does not answer) shows that the program
// is working and not hung.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};
