// The Signature tab's page: the live mirror of what is written on the pad,
// and the clear, calibrate, file, load and exit buttons. The pen report model
// and reader live in src/capture, free of widgets; this is the window over
// them.
//
// The ink's road: the pen reader's thread appends each decoded batch to the
// page's SharedPointList, then, before its next read, makes a blocking call
// into the GUI thread (PostAndWait) in which the page draws the points that
// arrived into its canvas and schedules a repaint of the box. So only the GUI
// thread touches the canvas and the widgets, and the reader reads on only
// while the GUI thread handles events.
//
// Thread safety: every member is for the GUI thread, except what the reader
// thread reaches through its callbacks: SharedPointList::AppendPoints (it
// locks itself) and the queued call that PostAndWait hands back to the GUI
// thread. StopPenReader joins the reader, so nothing of the page is touched
// by it once StopPenReader or the destructor has returned. A picture or a
// signature file goes to the pad on the PadActivity's worker, with the
// reader stopped, while the window goes on painting.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <chrono>
#include <cstddef>
#include <functional>
#include <span>

#include "capture/PenReader.h"
#include "capture/SharedPointList.h"
#include "pages/PageServices.h"
#include "pages/SignatureCanvas.h"
#include "pages/SignatureFileCommands.h"
#include "pages/TabPage.h"
#include "sigfiles/FileAccess.h"

class QPainter;
class QPushButton;

namespace vellumix::pages {

class PaintedBox;

// After StopPenReader has joined the reader, the rest of this pause since
// the stop was asked for is waited out, so the pad sees its next command no
// sooner than it always has.
inline constexpr std::chrono::milliseconds kReaderStopPause{200};
// "File the Signature" refuses a list of this many points or more, pen
// lifts included; 9,999 is the largest saved.
inline constexpr std::size_t kMaxSavedPoints = 10'000;
// A file to load larger than this is refused as of invalid size: it is read
// whole into memory, and no signature or box picture comes near it.
inline constexpr std::size_t kMaxLoadedFileBytes = sigfiles::kMaxInputBytes;

// A child of the main view's tab control, shown while its tab is selected.
class CSignaturePage : public CTabPage {
    Q_OBJECT
public:
    enum ControlId : int {
        IDC_CALIBRATE_PAD = 1007,
        IDC_CLEAR_DISPLAY = 1006,
        IDC_EXIT = 1008,
        IDC_FILE_SIGNATURE = 1004,
        IDC_GET_SIGNATURE_FILE = 1005,
        IDC_SIGNATURE_BOX = 1012,
        IDC_SIGNATURE_GROUP = 1026,
    };

    using SleepFunction = std::function<void(std::chrono::milliseconds)>;

    // services must outlive the page; every message box and file dialog of
    // the page goes through its prompts, every pad command through its channel.
    // Sends StartCapture and SetCaptureArea and starts the pen reader.
    CSignaturePage(const PageServices& services, QWidget* parent);
    // Stops (joins) the reader before anything it uses goes.
    ~CSignaturePage() override;

    void ActivatePage() override;
    // Sends what the page's start sent (StartCapture's three frames, then
    // SetCaptureArea), for a pad that came back after its link failed.
    void RestorePadSetup() override;
    void DeactivatePage() override;

    // Starts the reader unless it runs; true.
    bool StartPenReader();
    // Ends the pen reader thread, if it runs, and returns once it has ended.
    // The main frame calls it first when the window closes, before its last
    // pad commands.
    void StopPenReader();
    bool IsPenReaderRunning() const { return m_reader.IsRunning(); }

    // Draws the whole list into the canvas and schedules the box's repaint;
    // nothing at all for an empty list.
    void DrawStrokes();
    // White canvas; the list stays and comes back with the next drawing.
    void ClearCanvas();
    // Empties the list, clears the pad's display, repaints the box.
    void ClearSignature();
    // Clears the pad's display and repaints the box; the list stays.
    void ClearPadDisplay();
    void InvalidateSignatureBox();
    // Loads a .bmp file, stretches it into the 320 x 240 box and, with send,
    // puts those pixels on the pad with DisplayImage. Returns the picture;
    // null (nothing drawn or sent) when the file is no bitmap.
    QImage ShowBitmapFile(const QString& path, bool send);
    // A picture of the box's size out with DisplayImage, off the GUI thread.
    void SendPicture(const QImage& picture);

    // Button handlers.
    void OnClear();
    void OnCalibrate();
    void OnFileSignature();
    void OnGetSignatureFile();
    void OnExit();

    std::size_t GetPointCount() const { return m_points.GetPointCount(); }
    sigformats::SignaturePoint GetPoint(std::int64_t index) const {
        return m_points.GetPoint(index);
    }
    std::vector<sigformats::SignaturePoint> Points() const { return m_points.CopyPoints(); }
    const SignatureCanvas& Canvas() const { return m_canvas; }
    // Points of the list the canvas has taken in so far.
    std::size_t DrawnPointCount() const { return m_nSyncedCount; }
    bool IsBitmapShown() const { return m_bBitmapShown; }
    // Tests log the page's pauses instead of sleeping through them.
    void SetSleepFunction(SleepFunction sleep) { m_sleep = std::move(sleep); }

private:
    QPushButton* AddButton(int id, QLatin1StringView text, QRect geometry);
    void PaintBox(QPainter& painter);
    // The reader's synchronous exchange, on the GUI thread: draws the
    // segments that arrived since the last drawing.
    void OnReaderSync();
    // Resumes capture and the reader after a file command, and draws the
    // list again.
    void ResumeAfterFileCommand();
    // Get Signature File's .bmp: the list goes and the picture is shown and
    // sent once it has been read; a file that is no bitmap keeps the list.
    void LoadBitmap(const QString& path);
    // Load steps after the file was read and decoded: send to the pad, fill
    // the list; "Cannot read the file" when nothing decoded. True when the
    // points were loaded but the file was too large to send to the pad.
    bool LoadSignatureBytes(sigfiles::FileKind kind, std::span<const std::uint8_t> bytes,
                            const sigfiles::DecodeResult& decoded);
    // The refusal for a save that failed; nothing for kSaved.
    void ReportSave(SaveResult result);

    PageServices m_services;
    capture::SharedPointList m_points;
    SignatureCanvas m_canvas;
    // Segments already on the canvas: the next drawing starts at this one.
    // GUI thread only; 0 after every clear of the canvas or the list.
    std::size_t m_nDrawnSegments = 0;
    // The list's count at the last drawing, to skip exchanges with nothing new.
    std::size_t m_nSyncedCount = 0;
    bool m_bBitmapShown = false;
    QString m_strBitmapPath;
    SleepFunction m_sleep;

    PaintedBox* m_pBox = nullptr;

    // Last: started after, and stopped before, everything it uses.
    capture::PenReader m_reader;
};

}  // namespace vellumix::pages
