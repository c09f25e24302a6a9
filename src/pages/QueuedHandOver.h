// Queues a task onto a QObject's thread (the GUI thread) from a worker: for
// one that waits for it, such as capture::PostAndWait's poster, and for the
// pad work's steps (PadActivity.h), which do not wait. Tasks posted to one
// receiver run in the order they were posted; a task whose receiver is gone
// is dropped.
//
// Under ThreadSanitizer the hand-over is annotated: Qt's event queue orders
// the post before the call, but it lives in the uninstrumented libQt6Core,
// so without the annotation every byte the worker wrote into the task
// before posting it would be reported as racing with the GUI thread's call.
// The task is released on the worker just before the post and acquired on
// the GUI thread before it runs. The slot object Qt builds around the
// carrier is covered by the GUI tests' suppression file instead.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <memory>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define VELLUMIX_TSAN_HANDOVER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELLUMIX_TSAN_HANDOVER 1
#endif
#endif

#ifdef VELLUMIX_TSAN_HANDOVER
#include <sanitizer/tsan_interface.h>
#endif

namespace vellumix::pages {

inline void PostQueued(QObject* receiver, std::function<void()> task) {
    auto carried = std::make_shared<std::function<void()>>(std::move(task));
#ifdef VELLUMIX_TSAN_HANDOVER
    __tsan_release(carried.get());
#endif
    QMetaObject::invokeMethod(
        receiver,
        [carried] {
#ifdef VELLUMIX_TSAN_HANDOVER
            __tsan_acquire(carried.get());
#endif
            (*carried)();
        },
        Qt::QueuedConnection);
}

}  // namespace vellumix::pages
