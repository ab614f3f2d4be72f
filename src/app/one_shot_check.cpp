// One run of postvane-check from its arguments to its exit status.
#include "app/one_shot_check.h"

#include "app/check_finish.h"
#include "app/check_options.h"
#include "app/check_report.h"
#include "app/check_run.h"
#include "app/program_state.h"
#include "app/push_watches.h"
#include "app/watch_run.h"
#include "check/check_time_limit.h"
#include "check/silent_server_guard.h"
#include "settings/settings_store.h"
#include "text/own_text.h"
#include "text/string_table.h"

namespace postvane {

namespace {

int RunWatch(const OneShotPlatform& platform, const CheckOptions& options, ProgramState& state,
             SettingsStore& settings, Socket& socket, Timer& timeout, Timer& timerQuit,
             int16_t languageBase, std::ostream& out, std::ostream& err) {
  // The limit of a whole mailbox check, as in the tray: a trickling server cannot hold a run
  // that never ends by itself.
  const std::unique_ptr<Timer> checkLimit = platform.MakeTimer(kCheckLimitTickMs);
  CheckTimeLimit limited(socket, *checkLimit, [languageBase] {
    return OwnString(languageBase, OwnText::MailboxCheckTooLong);
  });
  std::optional<PushPlatform> push;
  if (platform.MakeSocket) {
    push = PushPlatform{.MakeSocket = platform.MakeSocket,
                        .MakeTimer = platform.MakeTimer,
                        .ReplyTimeoutMs = ReplyTimeoutMs(platform.ReplyTimeoutSetting)};
  }
  WatchRun run(state, limited, timeout, timerQuit, platform.MakeTimer, platform.SystemClock,
               platform.Files, settings, push ? &*push : nullptr, options.Json, out, err);
  if (platform.Charsets != nullptr) run.Engine().SetCharsetConverter(*platform.Charsets);
  if (platform.QuitOnSignals) platform.QuitOnSignals();
  run.Start(options.Mailboxes, languageBase);
  platform.RunEvents([] { return false; });
  run.Stop();
  return 0;
}

}  // namespace

int RunOneShotCheck(const OneShotPlatform& platform, std::ostream& out, std::ostream& err) {
  const ParsedArguments parsed = ParseCheckArguments(platform.Arguments);
  if (!parsed.Error.empty()) {
    err << parsed.Error << '\n';
    return kExitUsage;
  }
  const CheckOptions& options = parsed.Options;
  if (options.Help) {
    out << CheckUsage() << std::flush;
    return 0;
  }

  const auto languageBase =
      static_cast<int16_t>(SelectLanguage(static_cast<int16_t>(platform.UserLanguageId)) * 100);
  // Found as the tray program finds it, so both work on the same file.
  const ChosenPaths chosen = platform.ChoosePaths(options.SettingsFile);
  if (options.Version) {
    out << CheckVersionLine() << '\n'
        << SettingsFileLine(languageBase, chosen.Paths.SettingsFile) << '\n'
        << std::flush;
    return 0;
  }
  if (chosen.FolderFailed) {
    err << "postvane-check: cannot make the settings folder of " << chosen.Paths.SettingsFile
        << " private to its owner\n";
  }
  ProgramState state;
  state.Paths = chosen.Paths;

  FileSystem& files = platform.Files;
  SettingsStore settings(files, state.Paths.SettingsFile, state.Paths.DefaultSoundFile);
  if (!files.IsPlainFile(state.Paths.SettingsFile)) {
    err << "postvane-check: no settings file " << state.Paths.SettingsFile
        << "; no mailbox to check\n";
  } else if (!settings.HasMailboxSection()) {
    // A file in an encoding or layout we cannot read must not pass for "no new mail".
    err << "postvane-check: " << state.Paths.SettingsFile << ": "
        << OwnString(languageBase, OwnText::NoMailboxSection) << '\n';
    return kExitFailed;
  }
  // Passwords kept in the keyring are read from it, as the tray program does.
  if (platform.Secrets != nullptr) settings.UseSecretStore(platform.Secrets);
  TidySettingsFile(settings, options);

  const std::unique_ptr<Timer> replyTimeout =
      platform.MakeTimer(ReplyTimeoutMs(platform.ReplyTimeoutSetting));
  SilentServerGuard socket(platform.ServerSocket, *replyTimeout, [languageBase] {
    return OwnString(languageBase, OwnText::NoAnswerFromServer);
  });
  const std::unique_ptr<Timer> timeout = platform.MakeTimer(kConnectTimeoutMs);
  const std::unique_ptr<Timer> timerQuit = platform.MakeTimer(kQuitWaitMs);
  if (options.Watch) {
    return RunWatch(platform, options, state, settings, socket, *timeout, *timerQuit, languageBase,
                    out, err);
  }
  const std::unique_ptr<Timer> deadline = platform.MakeTimer(options.TimeoutSeconds * 1000);
  CheckRun run(state, socket, *timeout, *timerQuit, *deadline, platform.SystemClock, files,
               settings);
  if (platform.Charsets != nullptr) run.Engine().SetCharsetConverter(*platform.Charsets);
  run.SetFinishedHandler(platform.Quit);
  if (options.Ack) run.WillAcknowledge();
  std::optional<TokenRefresh> tokens;
  if (platform.Http != nullptr) {
    tokens.emplace(*platform.Http, languageBase, SteadySeconds);
    run.UseTokenRefresh(&*tokens);
  }

  run.Start(options.Mailboxes, languageBase);
  platform.RunEvents([&run] { return run.Finished(); });

  return FinishCheck(run, state, options, languageBase, out, err);
}

}  // namespace postvane
