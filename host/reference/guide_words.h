// The words of the authors' guide around its tables, keyed, each in English
// and Japanese. The tables' own words are beside their entries in
// cab_reference.h. "{0}", "{1}" stand for what the guide fills in (a count, a
// list, a name), so that each language puts them where its grammar wants.
//
// Glossary: the Japanese words the guide (and whoever adds a word next) uses,
// those of Japanese railway staff and simulator users. Where two are common,
// the one chosen and why.
//   unit                      装置 (the plug-in's protection unit in the cab)
//   switched on / off         電源 入 / 電源 切; the states 入, 切, 動作, 警報
//   trip, tripped             動作 (not トリップ: crews say the protection
//                             "動作した" when it applies the emergency brake)
//   reset                     復帰
//   warning brake, alarm      警報ブレーキ, 警報音
//   emergency brake           非常ブレーキ; its handle position 非常位置
//   service brake, notch      常用ブレーキ, 常用ノッチ; full service 常用最大
//   released (brake 0)        緩め
//   handle, notch             ハンドル, ノッチ; power handle 力行ハンドル, power
//                             notch 力行ノッチ (力行 rather than マスコン: it names
//                             what the handle does, beside ブレーキハンドル)
//   power off / cut power     力行 切 / 力行を遮断
//   handles secured           ハンドルを安全位置にする (レバーサ中立、力行 切、
//                             ブレーキ非常位置)
//   reverser                  レバーサ (not レバーサー: railway writing drops the
//                             final long vowel, as in ブレーキシリンダ);
//                             forward, neutral, backward 前進, 中立, 後進
//   rolls against the reverser  レバーサと逆向きに転動
//   speed hold                定速 (constant-speed command 定速指令)
//   governor (76/71 km/h)     速度抑制
//   beacon                    地上子; type 種別, signal value 信号現示, data
//                             word 送信値 (the value the beacon sends; not
//                             データワード)
//   point speed check         速度照査; limit 制限速度
//   speed doubt               速度不一致
//   stop target, stopping point  停止目標, 停止位置; a location on the route 距程
//   stop window (+-0.3 m)     停止許容範囲
//   past the mark (overrun)   過走 (not 行き過ぎ: the railway word, and short
//                             enough for the stop gauge's scale)
//   stop latched              停止記憶
//   station mode              駅モード
//   door counter              ドアカウンタ (no final long vowel, as レバーサ);
//                             display blanked 表示消去; counter step カウンタ段
//   traction current          主電動機電流; motoring 力行, braking 回生
//   brake cylinder, main reservoir  ブレーキシリンダ, 元空気だめ
//   panel / sound index       パネルインデックス / サウンドインデックス (the word
//                             authors meet in their panel and sound files)
//   lit / dark                点灯 / 消灯
//   play once / play looping / continue / stop  一度再生 / ループ再生 / 継続 /
//                             停止; one-shot sound 単発音
//   trip bell                 動作ベル; a strike 一打
// Style: tables in plain form ending in a noun or だ-form, prose in です/ます.
// Figures, key codes, units and file names stay in ASCII, with a space on each
// side where they meet Japanese; ranges with 〜 ("0〜7"), parentheses and
// colons full width. Never a character of ambiguous width (…, →, ×, —):
// terminals differ on how wide they are, and the plain-text guide aligns its
// columns by width. A table cell carries the same figures in both languages
// (a test compares them), so numbers a sentence needs but the English lacks
// are written in kanji (一度, 二フレームごと).
#ifndef ATSHOST_REFERENCE_GUIDE_WORDS_H
#define ATSHOST_REFERENCE_GUIDE_WORDS_H

#include <array>
#include <cstddef>

#include "host/reference/language.h"

namespace atshost::reference {

enum class Word {
  kTitle,
  kIntro,
  kInstalling,
  kInstallingPackage,
  kInstallingCopy,
  kInstallingPoint,
  kInstallingNeeds,
  kInstallingCab,
  kKeys,
  kKeysIntro,
  kKeyColumn,
  kDoesColumn,
  kBrakePositions,
  kBrakePositionsIntro,
  kPositionColumn,
  kUseColumn,
  kHandles,
  kPanel,
  kPanelIntro,
  kIndexColumn,
  kShowsColumn,
  kValuesColumn,
  kWhenColumn,
  kFlagValues,
  kBarsValues,
  kCounterValues,
  kStepsValues,
  kConstantValue,
  kPanelNeverWritten,
  kSound,
  kSoundIntro,
  kSoundColumn,
  kFileColumn,
  kCommandsColumn,
  kSoundNeverWritten,
  kBell,
  kBeacons,
  kBeaconsIntro,
  kTypeColumn,
  kFieldsColumn,
  kChecksIntro,
  kSignalColumn,
  kDataWordColumn,
  kLimitColumn,
  kAny,
  kLimitIsDataWord,
  kLimitWithNote,
  kOtherType0,
  kMargins,
  kDistanceColumn,
  kMarginColumn,
  kBraking,
  kBrakingIntro,
  kFromColumn,
  kDownToColumn,
  kNotch4Column,
  kFullServiceColumn,
  kEmergencyColumn,
  kExample,
  kExampleIntro,
  kLocationColumn,
  kPurposeColumn,
  kExampleLimit68,
  kExampleStationOn,
  kExampleStopTarget,
  kExampleLimit48,
  kExampleStoppingPoint,
  kExampleStationOff,
  kListComma,
  kRangeTo,
  kFieldLabel,
  kCount  // not a word: the number of words
};

struct WordEntry {
  Word key;
  Text text;
};

inline constexpr std::array<WordEntry, static_cast<std::size_t>(Word::kCount)> kGuideWords = {{
    {Word::kTitle, {"{0} {1}: the authors' guide", "{0} {1}：車両・路線作者のためのガイド"}},
    {Word::kIntro,
     {"For vehicle authors who wire a cab to the plug-in, and route authors who place its "
      "beacons. It says which panel index shows what, which sound index plays what, which keys "
      "the driver needs, and which beacons the unit reads. Numbers the simulator passes are in "
      "its own units: speeds in km/h, locations in metres, times in milliseconds of simulator "
      "time, pressures and current as the vehicle gives them.",
      "運転台をプラグインにつなぐ車両作者と、地上子を置く路線作者のためのガイドです。"
      "どのパネルインデックスに何が表示されるか、どのサウンドインデックスで何が鳴るか、"
      "運転士にどのキーが必要か、装置がどの地上子を読むかを説明します。"
      "シミュレータが渡す数値はシミュレータの単位のままです：速度は km/h、位置はメートル、"
      "時間はシミュレータ時間のミリ秒、圧力と電流は車両が与える単位です。"}},
    {Word::kInstalling, {"Installing", "インストール"}},
    {Word::kInstallingPackage,
     {"The package holds two builds of the same plug-in: `x86/{0}.dll` for 32-bit "
      "simulators and `x64/{0}.dll` for 64-bit ones. A simulator can load only the build "
      "of its own kind, so ship both with a vehicle:",
      "パッケージには同じプラグインのビルドが二つ入っています：32 ビットのシミュレータ用の "
      "`x86/{0}.dll` と、64 ビット用の `x64/{0}.dll` です。シミュレータは自分と同じ種類の"
      "ビルドしか読み込めないので、車両には両方を入れてください："}},
    {Word::kInstallingCopy,
     {"Copy both into the vehicle's folder, each in a folder of its own (for example `x86/` and "
      "`x64/`); the two files have the same name.",
      "両方を車両のフォルダにコピーします。二つのファイルは同じ名前なので、それぞれ別の"
      "フォルダ（例えば `x86/` と `x64/`）に入れます。"}},
    {Word::kInstallingPoint,
     {"Point the vehicle's 32-bit plug-in entry at the x86 build and its 64-bit plug-in entry at "
      "the x64 build, each with a path relative to the file that holds the entry.",
      "車両の 32 ビット用のプラグイン指定を x86 のビルドに、64 ビット用のプラグイン指定を "
      "x64 のビルドに向けます。パスはどちらも、その指定を書いたファイルからの相対パスです。"}},
    {Word::kInstallingNeeds,
     {"The plug-in needs nothing but Windows' own system DLLs, reads and writes no files and has "
      "no settings. Its version shows in the DLL's file properties.",
      "プラグインに必要なのは Windows 自身のシステム DLL だけです。ファイルの読み書きはせず、"
      "設定もありません。バージョンは DLL ファイルのプロパティに表示されます。"}},
    {Word::kInstallingCab,
     {"In the cab, the unit starts switched off and holds the emergency brake. Secure the handles "
      "(reverser neutral, power off, brake in the emergency position) and press key 10 to switch "
      "it on. The unit counts the doors as open, and cuts power, until the simulator first "
      "reports them closed. That first report counts 1 on the door counter and blanks the "
      "display (panel 201) for its first 500 ms, so the door and reverser lamps are dark just "
      "after loading.",
      "運転台では、装置は電源 切で始まり、非常ブレーキをかけています。ハンドルを安全位置"
      "（レバーサ中立、力行 切、ブレーキ非常位置）にして、キー 10 で電源を入れます。"
      "シミュレータが初めてドアが閉じていると通知するまで、装置はドアが開いているものとして"
      "力行を遮断します。この最初の通知でドアカウンタが 1 になり、その最初の 500 ms は表示が"
      "消去される（パネル 201）ので、読み込み直後はドアとレバーサのランプが消えています。"}},
    {Word::kKeys, {"Keys", "キー"}},
    {Word::kKeysIntro,
     {"The unit acts on four of the simulator's plug-in key codes. A key code is the "
      "simulator's plug-in key number counted from 0: the simulator passes 0 for its first "
      "plug-in key, 1 for the second, and so on. Which keyboard key the driver presses for each "
      "is set in the simulator's key assignment, not by the vehicle: tell the driver which "
      "plug-in keys the cab uses. Every other key code does nothing.",
      "装置はシミュレータのプラグイン用キー番号のうち四つに反応します。キー番号は、"
      "シミュレータのプラグイン用キーを 0 から数えた番号です：最初のプラグイン用キーなら 0、"
      "二番目なら 1、というように渡されます。運転士がそれぞれにキーボードのどのキーを押すかは、"
      "車両ではなくシミュレータのキー割り当てで決まります：運転台が使うプラグイン用キーを"
      "運転士に伝えてください。ほかのキー番号では何も起きません。"}},
    {Word::kKeyColumn, {"key", "キー"}},
    {Word::kDoesColumn, {"what it does", "内容"}},
    {Word::kBrakePositions, {"Brake positions", "ブレーキ位置"}},
    {Word::kBrakePositionsIntro,
     {"The vehicle's number of service brake notches, N, fixes the positions the unit uses. "
      "Position 0 is released, 1 to N are the service notches, N + 1 is the emergency brake. For "
      "a vehicle with 8 service notches: emergency 9, warning-brake cancel from 8.",
      "装置が使う位置は、車両の常用ブレーキのノッチ数 N で決まります。位置 0 が緩め、"
      "1〜N が常用ノッチ、N + 1 が非常ブレーキです。常用ノッチが 8 の車両なら、非常は 9、"
      "警報ブレーキの解除は 8 からです。"}},
    {Word::kPositionColumn, {"position", "位置"}},
    {Word::kUseColumn, {"what the unit uses it for", "装置での使い方"}},
    {Word::kHandles,
     {"What the unit does to the handles: it cuts power while the doors are open, and while the "
      "brake is applied (except notch 1 below 15 km/h). With notch 1 and the brake released "
      "above 15 km/h it cuts power for one frame, sends the constant-speed command from 1 s later "
      "and brakes with 4 while the train runs more than 2 km/h faster than the speed it sampled "
      "then. It trips (emergency brake until the reset) on overspeed at a beacon, when the train "
      "runs faster than 5 km/h with the doors open, rolls faster than 5 km/h against the "
      "reverser or moves faster than 5 km/h with the reverser in neutral (these two also while "
      "it is off). Closing the doors with "
      "the unit on and the reverser out of neutral or power applied (key 0 not held) demands the "
      "warning brake: emergency brake and alarm until the brake is put above N - 1.",
      "装置がハンドルに対して行うこと：ドアが開いている間と、ブレーキがかかっている間"
      "（15 km/h 未満での力行ノッチ 1 を除く）は力行を遮断します。15 km/h を超えて力行ノッチ 1、"
      "ブレーキ緩めにすると、一フレームだけ力行を遮断し、その 1 s 後から定速指令を送り、"
      "そのときに記録した速度より 2 km/h を超えて速く走っている間はブレーキ 4 をかけます。"
      "地上子での速度超過、ドアが開いたまま 5 km/h を超えて走ったとき、レバーサと逆向きに "
      "5 km/h を超えて転動したとき、レバーサ中立で 5 km/h を超えて動いたとき（この二つは"
      "装置 切でも）に動作します（復帰まで非常ブレーキ）。装置 入で、レバーサが中立でないか"
      "力行している状態（キー 0 を押していない）でドアを閉めると、警報ブレーキを要求します："
      "ブレーキを N - 1 より上にするまで、非常ブレーキと警報音です。"}},
    {Word::kPanel, {"Panel indices", "パネルインデックス"}},
    {Word::kPanelIntro,
     {"The unit writes these {0} panel indices in every frame; a key, door or beacon shows from "
      "the next frame on. A flag is 1 when lit and 0 when dark. Wire a lamp to a flag, a bar "
      "meter with 6 states (0 to 5 bars) to a bar index, a number display to the counter, and a "
      "lamp or dial with 8 states (0 to 7) to a counter step. The indices that are always 0 or "
      "always 1 are written in every frame too, so nothing else can be shown there.",
      "装置は毎フレーム、次の {0} 個のパネルインデックスに書き込みます。キー、ドア、地上子の"
      "結果は次のフレームから表示されます。0 か 1 のインデックスは点灯で 1、消灯で 0 です。"
      "ランプは 0 か 1 のインデックスに、6 状態（0〜5 段）のバーメーターは段のインデックスに、"
      "数字表示はカウンタに、8 状態（0〜7）のランプや針はカウンタ段につなぎます。"
      "常に 0 や常に 1 "
      "のインデックスも毎フレーム書き込むので、そこにほかのものは表示できません。"}},
    {Word::kIndexColumn, {"index", "インデックス"}},
    {Word::kShowsColumn, {"shows", "表示"}},
    {Word::kValuesColumn, {"values", "値"}},
    {Word::kWhenColumn, {"when", "条件"}},
    {Word::kFlagValues, {"0 or 1", "0 か 1"}},
    {Word::kBarsValues, {"0 to 5 bars", "0〜5 段"}},
    {Word::kCounterValues, {"whole number", "整数"}},
    {Word::kStepsValues, {"0 to 7", "0〜7"}},
    {Word::kConstantValue, {"always {0}", "常に {0}"}},
    {Word::kPanelNeverWritten,
     {"Never written: {0}. These keep whatever the simulator holds there.",
      "書き込まないインデックス：{0}。シミュレータが持つ値のままです。"}},
    {Word::kSound, {"Sound indices", "サウンドインデックス"}},
    {Word::kSoundIntro,
     {"The unit writes these {0} sound indices in every frame, each with a command: -10000 stop, "
      "0 play looping, 1 play once, 2 continue (leave the sound as it is). A command stays until "
      "the unit sends another, except at 2, 3 and 4, which go back to 2 in the frame after a 1. "
      "The file column says what kind of sound file fits.",
      "装置は毎フレーム、次の {0} 個のサウンドインデックスに指令を書き込みます：-10000 停止、"
      "0 ループ再生、1 一度再生、2 継続（音をそのままにする）。指令は装置が次の指令を送るまで"
      "続きますが、2、3、4 は 1 の次のフレームで 2 に戻ります。「ファイル」の列は、"
      "合う音声ファイルの種類です。"}},
    {Word::kSoundColumn, {"sound", "音"}},
    {Word::kFileColumn, {"file", "ファイル"}},
    {Word::kCommandsColumn, {"what the unit sends", "装置が送る指令"}},
    {Word::kSoundNeverWritten, {"Never written: {0}.", "書き込まないインデックス：{0}。"}},
    {Word::kBell,
     {"The trip bell has two sounds; wire both: give 8 a single strike and 9 the ringing loop. "
      "A trip at a beacon strikes 8 once and rings 9 until the reset. A trip at switch-on or "
      "with the doors open rings no bell until a beacon is passed.",
      "動作ベルは二つの音からなるので、両方をつないでください：8 にはベルの一打、9 には"
      "鳴り続けるループ音です。地上子での動作では 8 を一度打ち、復帰まで 9 を鳴らします。"
      "電源投入時やドアが開いているときの動作では、地上子を通過するまでベルは鳴りません。"}},
    {Word::kBeacons, {"Beacons", "地上子"}},
    {Word::kBeaconsIntro,
     {"The unit reads the beacon type, the signal value and the data word (the beacon's optional "
      "value). It acts at the moment the train passes the beacon; every other type does nothing, "
      "except that any beacon passed while the unit is tripped strikes the bell (sound 8 and 9).",
      "装置は地上子の種別、信号現示、送信値（地上子が任意に持つ値）を読みます。"
      "列車が地上子を通過した瞬間に働きます。ほかの種別では何も起きませんが、装置の動作中に"
      "通過した地上子はどれもベルを打ちます（サウンド 8 と 9）。"}},
    {Word::kTypeColumn, {"type", "種別"}},
    {Word::kFieldsColumn, {"fields used", "使う値"}},
    {Word::kChecksIntro,
     {"Point speed checks act only while the unit is on. The speed checked is the one the unit "
      "works out from the distance run in the last frame before the beacon, in either direction; "
      "a speed equal to the limit passes, anything faster trips.",
      "速度照査は装置 入の間だけ働きます。照査する速度は、装置が地上子の直前のフレームで"
      "走った距離から求めたもので、向きは問いません。制限速度と等しい速度は通過でき、"
      "それより速ければ動作します。"}},
    {Word::kSignalColumn, {"signal", "信号現示"}},
    {Word::kDataWordColumn, {"data word", "送信値"}},
    {Word::kLimitColumn, {"limit (km/h)", "制限速度（km/h）"}},
    {Word::kAny, {"any", "任意"}},
    {Word::kLimitIsDataWord, {"the data word", "送信値"}},
    {Word::kLimitWithNote, {"{0} ({1})", "{0}（{1}）"}},
    {Word::kOtherType0,
     {"A type-0 beacon with any other signal value or data word checks nothing (a signal other "
      "than 0 to 3, data word 50 or 150 with a signal other than 0, any other data word).",
      "種別 0 の地上子で、信号現示と送信値がこれ以外のものは何も照査しません（0〜3 以外の"
      "信号現示、信号現示が 0 以外で送信値が 50 か 150、ほかの送信値）。"}},
    {Word::kMargins,
     {"The speed checked is not the speedometer's. The unit holds the location in single "
      "precision, so the distance it sees run in a frame is rounded, the more the further the "
      "beacon is from 0 m, and the speed it works out from it differs from the speedometer by a "
      "fraction of a km/h, more far along a long route. A train at exactly the limit may trip. "
      "Plan for the train to be below the limit by at least the margin in the table below; it "
      "doubles with each doubling of the distance from 0 m. The "
      "margins hold for frames of 16 ms or longer (60 frames a second or fewer); at a higher "
      "frame rate they grow in proportion (twice the frame rate, twice the margin). Where the "
      "margin is more than 2 km/h, the same rounding also lights the warning lamp (panel 5) for "
      "speed doubt, in some frames or in every one.",
      "照査する速度は速度計の速度ではありません。装置は位置を単精度で持つので、"
      "一フレームに走ったと見る距離は丸められ、地上子が 0 m から遠いほど丸めは大きくなります。"
      "そこから求める速度は速度計と 1 km/h 未満ずれ、長い路線の遠方ほどずれが"
      "大きくなります。ちょうど制限速度の列車は動作することがあります。列車が下の表の余裕"
      "以上、制限速度より低くなるように計画してください。余裕は 0 m からの距離が倍になるごとに"
      "倍になります。この余裕は 16 ms 以上のフレーム（毎秒 60 フレーム以下）で成り立ち、"
      "それより高いフレームレートでは比例して大きくなります（フレームレートが倍なら余裕も倍）。"
      "余裕が 2 km/h を超えるところでは、同じ丸めによって、速度不一致の警告灯（パネル 5）が"
      "一部のフレーム、あるいはすべてのフレームで点灯します。"}},
    {Word::kDistanceColumn, {"beacon's distance from 0 m", "地上子の 0 m からの距離"}},
    {Word::kMarginColumn, {"keep below the limit by at least", "制限速度より低くする余裕"}},
    {Word::kBraking, {"Braking distances", "ブレーキ距離"}},
    {Word::kBrakingIntro,
     {"How far a train of atshost's default model runs on level track from one speed down to "
      "a lower one, with the power off, from the moment the brake handle is moved (the brake "
      "cylinder takes about a second to fill). Place a speed check at least this far beyond "
      "the one before it, so that a train passing the first at its limit can meet the second; "
      "atshost check reports a pair that cannot be met at the last service notch. Falls "
      "lengthen the distances.",
      "atshost の既定の列車が、平坦な線路で力行を切り、ブレーキハンドルを動かした時点から、"
      "ある速度からより低い速度に落ちるまでに走る距離です（ブレーキシリンダの圧力が上がるまで"
      "約 1 秒かかります）。速度照査の地上子は、手前の地上子をその制限速度で通過した列車が"
      "次の制限速度を守れるよう、少なくともこの距離だけ離して置いてください。atshost check は"
      "常用最大で守れない組を報告します。下り勾配では距離が延びます。"}},
    {Word::kFromColumn, {"from (km/h)", "初速（km/h）"}},
    {Word::kDownToColumn, {"down to (km/h)", "目標速度（km/h）"}},
    {Word::kNotch4Column, {"service notch 4", "常用 4 ノッチ"}},
    {Word::kFullServiceColumn, {"last service notch", "常用最大"}},
    {Word::kEmergencyColumn, {"emergency", "非常"}},
    {Word::kExample, {"Example: a station approach", "例：駅への進入"}},
    {Word::kExampleIntro,
     {"The station's stopping point is at 1150 m. A type-11 beacon switches station mode on "
      "before it, so that the stop is latched and closing the doors there sounds nothing. A "
      "type-12 beacon carries the stopping point's location, 1150, as its data word. The train "
      "must come to a stand within about 0.3 m of 1150 m (between about 1149.7 m and "
      "1150.3 m): then panel 11 lights, and panel 12 as well while the doors are still closed. "
      "Signal beacons on the approach limit the speed; place each where a train braking "
      "normally for the stop is already below its limit by at least the margin above (here "
      "48 km/h 100 m before the stop), since the check trips at once. A type-10 beacon after the "
      "platform ends station mode "
      "(panel 12 goes dark there).",
      "駅の停止位置は 1150 m です。その手前の種別 11 の地上子で駅モードを入にして、停止が"
      "記憶され、そこでドアを閉めても音が鳴らないようにします。種別 12 の地上子は停止位置の"
      "距程 1150 を送信値として持ちます。列車は 1150 m から約 0.3 m 以内（約 1149.7 m から "
      "1150.3 m の間）に停止しなければなりません：そのときパネル 11 が点灯し、ドアがまだ"
      "閉じていればパネル 12 も点灯します。進入路の信号の地上子が速度を制限します。照査は"
      "すぐに動作するので、それぞれ、停止に向けて普通にブレーキをかけている列車の速度が"
      "制限速度より前の表の余裕以上低くなっている位置に置いてください（ここでは停止位置の "
      "100 m 手前で 48 km/h）。ホームの先の種別 10 の地上子で駅モードが終わります（そこでパネル 12 "
      "が"
      "消灯します）。"}},
    {Word::kLocationColumn, {"location", "位置"}},
    {Word::kPurposeColumn, {"purpose", "目的"}},
    {Word::kExampleLimit68, {"68 km/h limit on the approach", "進入路の 68 km/h 制限"}},
    {Word::kExampleStationOn, {"station mode on (panel 9)", "駅モード 入（パネル 9）"}},
    {Word::kExampleStopTarget, {"stop target at 1150 m", "停止目標 1150 m"}},
    {Word::kExampleLimit48, {"48 km/h limit before the platform", "ホーム手前の 48 km/h 制限"}},
    {Word::kExampleStoppingPoint,
     {"stopping point: stand within about 0.3 m", "停止位置：約 0.3 m 以内に停止"}},
    {Word::kExampleStationOff, {"station mode off", "駅モード 切"}},
    {Word::kListComma, {", ", "、"}},
    {Word::kRangeTo, {" to ", "〜"}},
    {Word::kFieldLabel, {"{0}: ", "{0}："}},
}};

// Every key once, in the order of Word, and in both languages: a key added to
// Word without its entry, or an entry without one language, fails the build.
constexpr bool EveryWordInBothLanguages() {
  for (std::size_t i = 0; i < kGuideWords.size(); ++i) {
    if (static_cast<std::size_t>(kGuideWords[i].key) != i) return false;
    if (!Complete(kGuideWords[i].text)) return false;
  }
  return true;
}
static_assert(EveryWordInBothLanguages(),
              "every word of the guide needs its entry, in order, in English and Japanese");

constexpr const char* Words(Word key, Language language) {
  return kGuideWords[static_cast<std::size_t>(key)].text.In(language);
}

}  // namespace atshost::reference

#endif  // ATSHOST_REFERENCE_GUIDE_WORDS_H
