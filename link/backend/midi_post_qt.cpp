// MIDI input into the window's event loop: RtMidi's thread posts an event
// to an object on the GUI thread, whose event handler runs the call.
#include "link/backend/midi_rtmidi.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

namespace zr {

namespace {

class MidiInputEvent : public QEvent {
public:
  static QEvent::Type EventType()
  {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  explicit MidiInputEvent(std::function<void()> call) : QEvent(EventType()), call_(std::move(call)) {}
  void Run() const { call_(); }

private:
  std::function<void()> call_;
};

// Takes the posted events on the GUI thread: the input needs no
// application-wide filter that a front end could forget.
class MidiInputTarget : public QObject {
public:
  bool event(QEvent *e) override { return DeliverMidiInput(e) || QObject::event(e); }
};

} // namespace

MidiPoster QtMidiPoster()
{
  // Made on the thread that first asks (the GUI thread, building the MIDI
  // system), and never destroyed: events may be queued until the very end.
  static MidiInputTarget *const target = new MidiInputTarget;
  (void)MidiInputEvent::EventType(); // registered here, not first on RtMidi's thread
  return [](std::function<void()> call) { QCoreApplication::postEvent(target, new MidiInputEvent(std::move(call))); };
}

bool DeliverMidiInput(QEvent *event)
{
  if (!event || event->type() != MidiInputEvent::EventType())
    return false;
  static_cast<MidiInputEvent *>(event)->Run();
  return true;
}

std::unique_ptr<MidiSystem> MakePlatformMidiSystem()
{
  return std::make_unique<RtMidiSystem>();
}

} // namespace zr
