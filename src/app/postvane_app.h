// The tray program's logic: start-up, scheduler, tray summary, tray commands,
// notification and MDaemon requests, wired to the platform through interfaces.
#pragma once

#include <cstdint>

#include "app/program_starter.h"
#include "app/program_state.h"
#include "app/sound_player.h"
#include "app/tray_icons.h"
#include "app/windows.h"
#include "check/check_engine.h"
#include "check/clock.h"
#include "check/cycle_hooks.h"
#include "check/socket.h"
#include "check/timer.h"
#include "settings/file_system.h"
#include "settings/settings_store.h"
#include "ui/date_text.h"

namespace postvane {

struct AppPlatform {
  Socket& Winsock1;
  Timer& MinuteTimer;  // "Timer", 60000 ms, running from the start
  Timer& TrayTimer;    // 1500 ms, running from the start
  Timer& Timeout;      // 15000 ms
  Timer& TimerQuit;    // 1000 ms
  Clock& LocalClock;
  DateText& DateFormat;
  FileSystem& Files;
  TrayIcons& Tray;
  SoundPlayer& Sound;
  ProgramStarter& Programs;
  Windows& Forms;
};

class PostvaneApp : public CycleHooks {
 public:
  // state.Paths must be set. Registers the minute and tray timer tick handlers.
  PostvaneApp(ProgramState& state, const AppPlatform& platform);

  // Start-up after the single-instance test: language, captions, settings, first cycle, tray.
  void StartUp(uint16_t windowsLanguageId);

  void OnMinuteTimer();
  void OnTrayTimer();

  void OnTrayClick(int index);
  void OnTrayMenuRequest(int index);
  void OnTrayDoubleClick(int index);
  void AcknowledgeMailbox(int index);

  void mnuCheckNow_Click();
  void mnuMailReader_Click();
  void mnuStatus_Click();
  void mnuMdaemon_Click();
  void mnuConfig_Click();
  void mnuAbout_Click();
  void mnuExit_Click();

  void RefreshTray() override;
  void NotifyNewMail() override;
  void RunMailProgram();
  void PollMDaemon();

  ProgramState& State() { return state_; }
  SettingsStore& Settings() { return settings_; }
  CheckEngine& Engine() { return engine_; }

 private:
  ProgramState& state_;
  AppPlatform platform_;
  SettingsStore settings_;
  CheckEngine engine_;
};

}  // namespace postvane
