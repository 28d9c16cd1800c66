#pragma once
// The event thread of an open port: waits on the device for the port's events
// and hands each batch to the port's handlers.
#include "platform/Event.h"
#include "serial/ComTypes.h"

#include <thread>

class TCustomComPort;

class TComThread {
public:
    explicit TComThread(TCustomComPort* AComPort);
    ~TComThread(); // stops the thread and waits for its end
    void Stop();

private:
    void Execute();
    void DispatchComMsg();
    void DoEvents();
    void SendEvents();

    TCustomComPort* comPort_;
    platform::Event stopEvent_;
    TComEvents events_;
    std::thread thread_;
};
