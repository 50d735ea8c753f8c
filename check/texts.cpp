// The one table of lumarest-check's texts. Each row holds both languages,
// so a text cannot exist in one and be missing in the other.
#include "check/texts.h"

#include <iterator>

namespace {

struct Row {
  Text id;
  const wchar_t* english;
  const wchar_t* chinese;
};

constexpr Row kTexts[] = {
    {Text::kTitle, L"Lumarest check {0}", L"Lumarest 檢查 {0}"},
    {Text::kPass, L"[OK]  ", L"[通過]"},
    {Text::kFail, L"[FAIL]", L"[失敗]"},
    {Text::kNotExamined, L"[--]  ", L"[略過]"},
    {Text::kWhatToDo, L"What you can do: {0}", L"可以這樣做：{0}"},

    {Text::kRangeFound, L"DC rate {0} Hz, AC rate {1} Hz", L"DC 頻率 {0} Hz，AC 頻率 {1} Hz"},
    {Text::kRangeNone, L"no Intel video controller reports its refresh rates",
     L"沒有 Intel 顯示控制器回報其更新頻率"},
    {Text::kRangeNarrow, L"DC rate {0} Hz and AC rate {1} Hz are 3 Hz or less apart",
     L"DC 頻率 {0} Hz 與 AC 頻率 {1} Hz 相差 3 Hz 以內"},
    {Text::kRangeQueryFailed, L"the WMI query of Win32_VideoController failed (HRESULT 0x{0})",
     L"WMI 查詢 Win32_VideoController 失敗（HRESULT 0x{0}）"},
    {Text::kControllerLine, L"{0}: raw {1}-{2} Hz, snapped {3}-{4} Hz, {5}",
     L"{0}：原始 {1}-{2} Hz，標稱 {3}-{4} Hz，{5}"},
    {Text::kControllerNotText, L"(a name that is not text)", L"（名稱不是文字）"},
    {Text::kControllerIntelKept, L"Intel, its rates are the ones taken", L"Intel，採用其頻率"},
    {Text::kControllerIntel, L"Intel, not taken", L"Intel，未採用"},
    {Text::kControllerOther, L"{0}: not Intel, its rates are not read", L"{0}：非 Intel，不讀取其頻率"},
    {Text::kNoControllers, L"WMI lists no video controller", L"WMI 未列出任何顯示控制器"},
    {Text::kControllersUpToTaken, L"(listed up to the controller taken: the controller reads no further)",
     L"（列到採用的控制器為止：控制程式不再往下讀）"},
    {Text::kHintRange,
     L"the panel must offer several refresh rates, more than 3 Hz apart, on an Intel adapter, as "
     L"Windows reports them (WMI's Win32_VideoController); a panel of a single rate is never switched.",
     L"面板必須在 Intel 顯示卡上提供多種更新頻率（相差超過 3 Hz），以 Windows 的回報為準"
     L"（WMI 的 Win32_VideoController）；單一頻率的面板永遠不會被切換。"},

    {Text::kOfferedYes, L"{0} Hz is offered at {1}x{2}, {3} bits", L"在 {1}x{2}、{3} 位元下提供 {0} Hz"},
    {Text::kOfferedNo, L"{0} Hz is not offered at {1}x{2}, {3} bits (offered: {4})",
     L"在 {1}x{2}、{3} 位元下不提供 {0} Hz（提供：{4}）"},
    {Text::kOfferedNone, L"none", L"無"},
    {Text::kOfferedUnreadable, L"the modes of adapter 0 cannot be read", L"無法讀取顯示卡 0 的模式"},
    {Text::kOfferedNotExamined, L"not examined: without a range there is no DC rate to look for",
     L"未檢查：沒有頻率範圍，就沒有要尋找的 DC 頻率"},
    {Text::kHintOffered,
     L"the controller keeps the resolution and colour depth and sets the lowest rate Windows reports, "
     L"snapped to a nominal rate; the driver lists no such mode, so Windows would refuse the change. A newer "
     L"Intel graphics driver may list it.",
     L"控制程式會保留解析度與色彩深度，並設定 Windows 回報的最低頻率（對齊至標稱頻率）；"
     L"驅動程式未列出此模式，因此 Windows 會拒絕變更。較新的 Intel 顯示驅動程式可能會提供此模式。"},

    {Text::kPanelLine, L"adapter 0 {0}, monitor 0 state flags 0x{1}",
     L"顯示卡 0 {0}，監視器 0 狀態旗標 0x{1}"},
    {Text::kPanelNoAdapter, L"no display adapter is listed", L"未列出任何顯示卡"},
    {Text::kPanelNoMonitor, L"adapter 0 {0} lists no monitor", L"顯示卡 0 {0} 未列出任何監視器"},
    {Text::kHintPanel,
     L"the built-in panel must be the first monitor of the first display adapter, active and attached "
     L"(state flags 0x3); it is not while the lid is closed or the panel is turned off in the display "
     L"settings.",
     L"內建面板必須是第一張顯示卡的第一個監視器，且使用中並已連接（狀態旗標 0x3）；"
     L"闔上螢幕或在顯示設定中關閉面板時則不是。"},

    {Text::kExternalNone, L"no external display", L"沒有外接顯示器"},
    {Text::kExternalFound, L"an external display is attached", L"已連接外接顯示器"},
    {Text::kAdapterLine, L"adapter {0} {1}: {2} active monitor(s), {3}",
     L"顯示卡 {0} {1}：{2} 個使用中的監視器，{3}"},
    {Text::kAdapterIntel, L"Intel", L"Intel"},
    {Text::kAdapterOther, L"other vendor", L"其他廠商"},
    {Text::kHintExternal,
     L"disconnect the external display or docking station; the controller acts only while the "
     L"built-in panel is the one display.",
     L"拔除外接顯示器或擴充座；只有內建面板是唯一的顯示器時，控制程式才會動作。"},

    {Text::kSchemeActive, L"active scheme {0}", L"使用中的電源計劃 {0}"},
    {Text::kSchemeNamed, L"{0} ({1})", L"{0}（{1}）"},
    {Text::kSchemeExempt, L"active scheme {0} is the exempt scheme",
     L"使用中的電源計劃 {0} 是豁免的電源計劃"},
    {Text::kSchemeUnreadable, L"\"ActivePowerScheme\" cannot be read (error {0})",
     L"無法讀取 \"ActivePowerScheme\"（錯誤 {0}）"},
    {Text::kHintScheme,
     L"choose another power plan in Power Options; while the plan {0} is active the controller stands aside.",
     L"在「電源選項」中選擇其他電源計劃；電源計劃 {0} 使用中時，控制程式不會動作。"},

    {Text::kHintSchemeUnreadable,
     L"Windows keeps the active power plan under HKLM\\SYSTEM\\CurrentControlSet\\Control\\Power\\User\\Default"
     L"\\PowerSchemes; choosing a plan in Power Options writes it there.",
     L"Windows 將使用中的電源計劃記錄在 HKLM\\SYSTEM\\CurrentControlSet\\Control\\Power\\User\\Default"
     L"\\PowerSchemes；在「電源選項」中選擇電源計劃即會寫入。"},

    {Text::kPolicyAllows, L"DCUserPreferencePolicy 0x{0} allows the switch",
     L"DCUserPreferencePolicy 0x{0} 允許切換"},
    {Text::kPolicyForbids, L"DCUserPreferencePolicy 0x{0} forbids the switch",
     L"DCUserPreferencePolicy 0x{0} 禁止切換"},
    {Text::kPolicyNone, L"no Intel adapter key holds a readable DCUserPreferencePolicy",
     L"沒有任何 Intel 顯示卡機碼含有可讀取的 DCUserPreferencePolicy"},
    {Text::kPolicyClassUnreadable, L"the display-adapter class key cannot be opened (error {0})",
     L"無法開啟顯示卡類別機碼（錯誤 {0}）"},
    {Text::kDriverLine, L"{0}: provider {1}, {2}", L"{0}：提供者 {1}，{2}"},
    {Text::kDriverNoProvider, L"{0}: no readable \"ProviderName\" (error {1})",
     L"{0}：無法讀取 \"ProviderName\"（錯誤 {1}）"},
    {Text::kDriverIntel, L"Intel, {0}", L"Intel，{0}"},
    {Text::kDriverOther, L"not Intel", L"非 Intel"},
    {Text::kDriverValue, L"DCUserPreferencePolicy 0x{0}", L"DCUserPreferencePolicy 0x{0}"},
    {Text::kDriverNoValue, L"no readable DCUserPreferencePolicy (error {0})",
     L"無法讀取 DCUserPreferencePolicy（錯誤 {0}）"},
    {Text::kDriverUsed, L"{0}, the value taken", L"{0}，採用此值"},
    {Text::kDriverKeysUpToTaken, L"(listed up to the subkey whose value is taken: the controller reads no further)",
     L"（列到採用其值的子機碼為止：控制程式不再往下讀）"},
    {Text::kHintPolicy,
     L"the value belongs to the Intel graphics driver, which sets it from its own power settings; the "
     L"controller switches only when it is 0 or its bits 4 to 7 hold 4.",
     L"此值屬於 Intel 顯示驅動程式，由其電源設定決定；只有在值為 0 或第 4 至 7 位元為 4 時，"
     L"控制程式才會切換。"},
    {Text::kHintNoPolicy,
     L"the Intel graphics driver writes this value when it is installed; install or repair the Intel "
     L"graphics driver.",
     L"Intel 顯示驅動程式安裝時會寫入此值；請安裝或修復 Intel 顯示驅動程式。"},

    {Text::kFilesReady, L"both state files can be read and written", L"兩個狀態檔皆可讀寫"},
    {Text::kFilesNotReady, L"the state files cannot all be read and written", L"狀態檔無法全部讀寫"},
    {Text::kFilesNotInstalled,
     L"not examined: Lumarest is not installed here (no state file, no sign-in entry); its package creates both files",
     L"未檢查：此處未安裝 Lumarest（沒有狀態檔，也沒有登入時啟動的登錄）；安裝套件會建立兩個檔案"},
    {Text::kFileLine, L"{0}: {1}", L"{0}：{1}"},
    {Text::kFileMissing, L"missing", L"不存在"},
    {Text::kFileUnreadable, L"cannot be read (held by another program, or not readable for this user)",
     L"無法讀取（被其他程式占用，或此使用者無法讀取）"},
    {Text::kFileNotWritable, L"{0}, not writable for this user", L"{0}，此使用者無法寫入"},
    {Text::kFileWritable, L"{0}, writable", L"{0}，可寫入"},
    {Text::kFileRefused, L"{0}, {1}: Windows refuses to rewrite it", L"{0}，{1}：Windows 拒絕覆寫此檔案"},
    {Text::kAttributeHidden, L"hidden", L"隱藏"},
    {Text::kAttributeSystem, L"system", L"系統"},
    {Text::kMarkText, L"holds \"{0}\"", L"內容為 \"{0}\""},
    {Text::kMarkNone, L"holds neither mark", L"內容不是任何標記"},
    {Text::kMarkEmpty, L"empty (a running controller keeps the mark it read last)",
     L"是空的（執行中的控制程式會保留上次讀到的標記）"},
    {Text::kHintFiles,
     L"reinstall Lumarest: its package creates both files in its folder and lets every user write them.",
     L"重新安裝 Lumarest：安裝套件會在其資料夾中建立兩個檔案，並允許每位使用者寫入。"},
    {Text::kHintFilesAttributes,
     L"take the hidden and system attributes off the state files, in a Command Prompt run as administrator: "
     L"attrib -h -s \"{0}\\lasttime*.txt\" (a repair of the package keeps existing state files as they are).",
     L"以系統管理員身分執行命令提示字元，移除狀態檔的隱藏與系統屬性："
     L"attrib -h -s \"{0}\\lasttime*.txt\"（修復安裝會保留現有狀態檔原狀）。"},

    {Text::kPowerLabel, L"Power source", L"電源"},
    {Text::kPowerMains, L"mains", L"交流電源"},
    {Text::kPowerBattery, L"battery", L"電池"},
    {Text::kPowerUnknown, L"unknown (GetSystemPowerStatus failed)", L"不明（GetSystemPowerStatus 失敗）"},
    {Text::kRateLabel, L"Current rate", L"目前更新頻率"},
    {Text::kRateValue, L"{0} Hz", L"{0} Hz"},
    {Text::kRateUnknown, L"unknown (adapter 0's mode cannot be read)", L"不明（無法讀取顯示卡 0 的模式）"},
    {Text::kDynamicLabel, L"Dynamic rate", L"動態更新頻率"},
    {Text::kDynamicOn,
     L"on: Windows reports {0} Hz to programs while the panel runs up to {1} Hz when there is motion (Settings shows "
     L"\"Dynamic ({1} Hz)\"). The controller sees {0} Hz, as any program does, and on battery asks Windows for the DC "
     L"rate, {2} Hz.",
     L"開啟：Windows 向程式回報 {0} Hz，面板在畫面移動時最高以 {1} Hz 執行（「設定」顯示「動態 ({1} Hz)」）。"
     L"控制程式和其他程式一樣看到 {0} Hz，使用電池時會要求 Windows 切換為 DC 頻率 {2} Hz。"},
    {Text::kDynamicOnNoPhysical,
     L"on: Windows reports {0} Hz to programs while the panel runs faster when there is motion (Settings shows "
     L"\"Dynamic\"). The controller sees {0} Hz, as any program does, and on battery asks Windows for the DC rate, "
     L"{2} Hz.",
     L"開啟：Windows 向程式回報 {0} Hz，面板在畫面移動時會以更高頻率執行（「設定」顯示「動態」）。"
     L"控制程式和其他程式一樣看到 {0} Hz，使用電池時會要求 Windows 切換為 DC 頻率 {2} Hz。"},
    {Text::kDynamicAtDcRate,
     L"Since {0} Hz is the DC rate, the controller takes the panel to be there already and changes nothing: the panel "
     L"goes on rising above it when there is motion. Choose {0} Hz instead of \"Dynamic\" in Settings for the lowest "
     L"rate on battery.",
     L"由於 {0} Hz 就是 DC 頻率，控制程式會認為面板已在此頻率，不做任何變更：畫面移動時面板仍會高於此頻率。"
     L"若要在使用電池時維持最低頻率，請在「設定」中選擇 {0} Hz，而不是「動態」。"},
    {Text::kMarksLabel, L"Marks", L"標記"},
    {Text::kMarksUnread, L"cannot be read, so no switch is due", L"無法讀取，因此不需切換"},
    {Text::kMarksDue, L"lasttimeACDC.txt {0}, lasttimeDCRefresh.txt {1}: a switch is due at the next battery decision",
     L"lasttimeACDC.txt {0}，lasttimeDCRefresh.txt {1}：下次電池供電的判斷需要切換"},
    {Text::kMarksNotDue,
     L"lasttimeACDC.txt {0}, lasttimeDCRefresh.txt {1}: no switch is due at the next battery decision",
     L"lasttimeACDC.txt {0}，lasttimeDCRefresh.txt {1}：下次電池供電的判斷不需切換"},
    {Text::kControllerLabel, L"Controller", L"控制程式"},
    {Text::kControllerRuns, L"running in this session", L"正在此工作階段中執行"},
    {Text::kControllerAbsent, L"not running in this session", L"未在此工作階段中執行"},
    {Text::kControllerAbsentStarts, L"not running in this session; it starts at the next sign-in",
     L"未在此工作階段中執行；下次登入時會啟動"},
    {Text::kAutostartLabel, L"Autostart", L"自動啟動"},
    {Text::kAutostartYes, L"\"{1}\" is registered under HKLM\\{0}", L"已在 HKLM\\{0} 中登錄 \"{1}\""},
    {Text::kAutostartNo, L"\"{1}\" is not registered under HKLM\\{0}", L"未在 HKLM\\{0} 中登錄 \"{1}\""},
    {Text::kCapableLabel, L"This laptop", L"這部筆電"},
    {Text::kCapableYes, L"can be switched to {0} Hz on battery", L"使用電池時可切換為 {0} Hz"},
    {Text::kCapableNo, L"cannot be switched: {0}", L"無法切換：{0}"},
    {Text::kInstalledLabel, L"Installed", L"安裝"},
    {Text::kInstalledYes, L"yes: both state files usable, the sign-in entry registered",
     L"是：兩個狀態檔皆可使用，已登錄登入時啟動"},
    {Text::kInstalledNothing, L"no: neither state file nor the sign-in entry is here",
     L"否：沒有狀態檔，也沒有登入時啟動的登錄"},
    {Text::kInstalledPartly, L"incomplete: {0}", L"不完整：{0}"},
    {Text::kInstallFilesNotUsable, L"the state files cannot both be read and written", L"兩個狀態檔無法皆可讀寫"},
    {Text::kInstallNoAutostart, L"the sign-in entry is missing", L"缺少登入時啟動的登錄"},

    {Text::kVerdictLabel, L"Verdict", L"結論"},
    {Text::kVerdictBlocked, L"Would not switch: {0}", L"不會切換：{0}"},
    {Text::kBlockedRange, L"Windows reports no range of refresh rates for the panel.",
     L"Windows 未回報面板有多種更新頻率。"},
    {Text::kBlockedNotOffered, L"the panel does not offer {0} Hz at {1}x{2}; Windows would refuse the change.",
     L"面板在 {1}x{2} 下不提供 {0} Hz；Windows 會拒絕變更。"},
    {Text::kBlockedModesUnreadable, L"the panel's display modes cannot be read.", L"無法讀取面板的顯示模式。"},
    {Text::kBlockedPanel, L"the built-in panel is not active.", L"內建面板未在使用中。"},
    {Text::kBlockedExternal, L"an external display is attached.", L"已連接外接顯示器。"},
    {Text::kBlockedSchemeExempt, L"the exempt power scheme is active.", L"豁免的電源計劃正在使用中。"},
    {Text::kBlockedSchemeUnreadable, L"the active power scheme cannot be read.", L"無法讀取使用中的電源計劃。"},
    {Text::kBlockedPolicy, L"the Intel graphics driver's policy value forbids it.",
     L"Intel 顯示驅動程式的原則值禁止切換。"},
    {Text::kBlockedNoPolicy, L"no Intel graphics driver policy value can be read.",
     L"無法讀取 Intel 顯示驅動程式的原則值。"},
    {Text::kBlockedFiles, L"the state files cannot be read and written.", L"無法讀寫狀態檔。"},
    {Text::kVerdictUnknownPower, L"Power source unknown: the controller does nothing while it cannot read it.",
     L"電源不明：無法讀取電源時，控制程式不會動作。"},
    {Text::kVerdictNotDueByHand,
     L"Switch not due: the rate last seen on battery was not the DC rate (set by hand, or by something "
     L"else such as the driver after a resume), and it is kept until mains is recorded.",
     L"不需切換：上次在電池供電時看到的更新頻率不是 DC 頻率（由使用者手動設定，或由驅動程式等在"
     L"喚醒後設定），在記錄到交流電源之前會保留該頻率。"},
    {Text::kVerdictNotDueMarks,
     L"Switch not due: lasttimeACDC.txt holds neither \"1\" nor \"2\", and no battery decision switches "
     L"until an event writes one.",
     L"不需切換：lasttimeACDC.txt 的內容既不是 \"1\" 也不是 \"2\"，在事件寫入標記之前，"
     L"電池供電的判斷都不會切換。"},
    {Text::kVerdictBatterySwitch, L"On battery now: the controller would switch the panel from {0} Hz to {1} Hz.",
     L"目前使用電池：控制程式會將面板從 {0} Hz 切換為 {1} Hz。"},
    {Text::kVerdictBatterySwitchTo, L"On battery now: the controller would switch the panel to {0} Hz.",
     L"目前使用電池：控制程式會將面板切換為 {0} Hz。"},
    {Text::kVerdictBatteryAlready, L"On battery now: the panel already runs at the DC rate, {0} Hz.",
     L"目前使用電池：面板已在 DC 頻率 {0} Hz 執行。"},
    {Text::kVerdictMains,
     L"On mains now: nothing to do; on battery the controller would switch the panel to {0} Hz.",
     L"目前使用交流電源：無需動作；改用電池時，控制程式會將面板切換為 {0} Hz。"},
    {Text::kVerdictNotInstalledCapable,
     L"Lumarest is not installed here. This laptop can be switched to {0} Hz on battery; install Lumarest to "
     L"have it done.",
     L"此處未安裝 Lumarest。這部筆電使用電池時可切換為 {0} Hz；安裝 Lumarest 即可自動切換。"},
    {Text::kVerdictNotInstalledIncapable, L"Lumarest is not installed here. This laptop cannot be switched: {0}",
     L"此處未安裝 Lumarest。這部筆電無法切換：{0}"},
    {Text::kHintNotDue,
     L"plug the charger in once: mains is recorded, and the next time on battery the panel is switched.",
     L"接上電源一次：記錄到交流電源後，下次使用電池時就會切換面板。"},
    {Text::kPressAnyKey, L"Press any key to close.", L"按任意鍵關閉。"},

    {Text::kSessionsLabel, L"Signed in", L"已登入"},
    {Text::kSessionsNone, L"no signed-in user", L"沒有已登入的使用者"},
    {Text::kSessionLine, L"session {0} {1}: {2}", L"工作階段 {0} {1}：{2}"},
    {Text::kSessionUserUnknown, L"(name not readable)", L"（無法讀取名稱）"},
    {Text::kSessionRuns, L"a controller runs", L"控制程式正在執行"},
    {Text::kSessionNoController, L"no controller", L"沒有控制程式"},
    {Text::kSessionTurnedOff, L"{0}; turned off in Startup apps", L"{0}；已在「啟動應用程式」中關閉"},
    {Text::kSessionNotRead,
     L"not readable from this account (error {0}); run as SYSTEM to see every session",
     L"此帳戶無法讀取（錯誤 {0}）；以 SYSTEM 執行才能看到每個工作階段"},
    {Text::kSessionsUnlisted, L"the sessions could not be listed (error {0}): the console session only",
     L"無法列出工作階段（錯誤 {0}）：只看主控台工作階段"},
    {Text::kHealthLabel, L"Health", L"健康狀態"},
    {Text::kHealthUsersNone, L"no signed-in user", L"沒有已登入的使用者"},
    {Text::kHealthUsersOne, L"1 signed-in user", L"1 位已登入的使用者"},
    {Text::kHealthUsersMany, L"{0} signed-in users", L"{0} 位已登入的使用者"},
    {Text::kHealthControllersOne, L"1 controller", L"1 個控制程式"},
    {Text::kHealthControllersMany, L"{0} controllers", L"{0} 個控制程式"},
    {Text::kHealthTurnedOff, L"{0} turned off in Startup apps", L"{0} 位已在「啟動應用程式」中關閉"},
    {Text::kHealthSessionMissing, L"session {0} {1} has no controller", L"工作階段 {0} {1} 沒有控制程式"},
    {Text::kHealthSessionNotRead, L"session {0} {1} could not be read (error {2}; run as SYSTEM)",
     L"無法讀取工作階段 {0} {1}（錯誤 {2}；請以 SYSTEM 執行）"},
    {Text::kHealthNothingInstalled, L"neither state file nor the sign-in entry is here",
     L"沒有狀態檔，也沒有登入時啟動的登錄"},
    {Text::kHealthCapable, L"capable", L"可切換"},
    {Text::kHealthNotCapable, L"not capable: {0}", L"無法切換：{0}"},
    {Text::kHealthVersion, L"version {0}", L"版本 {0}"},
    {Text::kJsonOrHealth, L"lumarest-check: --json and --health cannot be given together",
     L"lumarest-check：--json 與 --health 不能同時使用"},

    {Text::kUsage,
     L"usage: lumarest-check [--json | --health] [--lang en|zh-TW]\n"
     L"Explains, condition by condition, what the Lumarest controller would do on this machine.\n"
     L"It changes nothing.\n"
     L"  --json        one JSON object instead of the report\n"
     L"  --health      one line in English: healthy, not_installed, installation_broken or\n"
     L"                controller_missing; exit code 0 healthy, 1 not\n"
     L"  --lang LANG   en or zh-TW (default: the user interface language)\n"
     L"  --help        this text\n"
     L"Exit code: 0 the machine qualifies, 1 a condition fails, 2 a usage error or out of memory.\n",
     L"用法：lumarest-check [--json | --health] [--lang en|zh-TW]\n"
     L"逐項說明 Lumarest 控制程式在這部電腦上會做什麼。\n"
     L"不會變更任何內容。\n"
     L"  --json        輸出一個 JSON 物件，而不是報告\n"
     L"  --health      輸出一行英文：healthy、not_installed、installation_broken 或\n"
     L"                controller_missing；結束代碼 0 表示正常，1 表示不正常\n"
     L"  --lang LANG   en 或 zh-TW（預設：使用者介面語言）\n"
     L"  --help        顯示此說明\n"
     L"結束代碼：0 這部電腦符合條件，1 有條件不符合，2 用法錯誤或記憶體不足。\n"},
    {Text::kUnknownArgument, L"lumarest-check: unknown argument \"{0}\"", L"lumarest-check：無法辨識的引數 \"{0}\""},
    {Text::kLanguageMissing, L"lumarest-check: --lang needs en or zh-TW", L"lumarest-check：--lang 需要 en 或 zh-TW"},
    {Text::kUnknownLanguage, L"lumarest-check: unknown language \"{0}\" (en or zh-TW)",
     L"lumarest-check：無法辨識的語言 \"{0}\"（en 或 zh-TW）"},
    {Text::kOutOfMemory, L"lumarest-check: out of memory (HRESULT 0x{0}); nothing was changed",
     L"lumarest-check：記憶體不足（HRESULT 0x{0}）；未變更任何內容"},
};

constexpr bool EveryTextInOrder() {
  if (std::size(kTexts) != static_cast<std::size_t>(Text::kCount)) return false;
  for (std::size_t i = 0; i < std::size(kTexts); ++i)
    if (kTexts[i].id != static_cast<Text>(i)) return false;
  return true;
}
static_assert(EveryTextInOrder(), "one row per text, in the order of the enumeration");

}  // namespace

Language LanguageForUi(LANGID uiLanguage) {
  if (PRIMARYLANGID(uiLanguage) != LANG_CHINESE) return Language::kEnglish;
  switch (SUBLANGID(uiLanguage)) {
    case SUBLANG_CHINESE_TRADITIONAL:  // Taiwan
    case SUBLANG_CHINESE_HONGKONG:
    case SUBLANG_CHINESE_MACAU:
      return Language::kTraditionalChinese;
    default:
      // zh-Hant alone (LANG_CHINESE_TRADITIONAL, 0x7C04: the script with no
      // region) counts too; simplified Chinese and the rest stay English.
      return uiLanguage == LANG_CHINESE_TRADITIONAL ? Language::kTraditionalChinese : Language::kEnglish;
  }
}

const wchar_t* Say(Text text, Language language) {
  const Row& row = kTexts[static_cast<std::size_t>(text)];
  return language == Language::kTraditionalChinese ? row.chinese : row.english;
}

std::wstring Say(Text text, Language language, std::initializer_list<std::wstring> values) {
  const std::wstring pattern = Say(text, language);
  std::wstring out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const wchar_t c = pattern[i];
    if (c == L'{' && i + 2 < pattern.size() && pattern[i + 1] >= L'0' && pattern[i + 1] <= L'9' &&
        pattern[i + 2] == L'}') {
      const std::size_t index = static_cast<std::size_t>(pattern[i + 1] - L'0');
      if (index < values.size()) out += values.begin()[index];
      i += 2;
      continue;
    }
    out += c;
  }
  return out;
}
