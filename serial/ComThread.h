#pragma once
// The event thread of an open port: waits on the device for the port's events
// and hands each batch to the port's handlers.
#include "serial/ComTypes.h"

#include <functional>
#include <memory>
#include <thread>

class TCustomComPort;

class TComThread {
public:
    explicit TComThread(TCustomComPort* AComPort);
    // Stops the thread and waits for its end; from a handler running on the
    // thread itself it only stops it, and the thread ends once that handler
    // has returned.
    ~TComThread();
    void Stop();

    // How the thread is started (empty: std::thread). Tests make it fail.
    using Starter = std::function<std::thread(std::function<void()>)>;
    static void SetStarter(Starter starter);

private:
    // What the running thread uses; it outlives this object when the port is
    // closed or freed from a handler on the thread.
    struct Shared;
    static void Execute(const std::shared_ptr<Shared>& s);
    static void DispatchComMsg(const std::shared_ptr<Shared>& s);
    static void ReportDeviceGone(const std::shared_ptr<Shared>& s);
    static void DoEvents(Shared& s);
    static void SendEvents(const std::shared_ptr<Shared>& s);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};
