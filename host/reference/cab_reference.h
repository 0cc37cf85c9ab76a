// The reference for vehicle and route authors, as tables: what each panel and
// sound index carries, what each key does, what the vehicle's brake notches
// change, and what each beacon type does. The authors' guide is printed from
// these tables (atshost reference), and tests hold them to what the plug-in
// does, so the guide cannot drift from the code.
#ifndef ATSHOST_REFERENCE_CAB_REFERENCE_H
#define ATSHOST_REFERENCE_CAB_REFERENCE_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "host/reference/language.h"
#include "host/sim/cab.h"
#include "host/sim/cab_tables.h"

namespace atshost::reference {

// What kind of value a panel index takes.
enum class PanelKind { kFlag, kBars, kCounter, kSteps, kConstant };

struct PanelEntry {
  int index;
  PanelKind kind;
  int32_t constant;  // the value of a kConstant entry
  Text shows;
  Text when;  // when it lights or changes, in a panel author's words
};

struct SoundEntry {
  int index;
  Text sound;
  Text commands;  // what the unit sends over time
  Text file;      // the kind of sound file that fits
};

struct KeyEntry {
  const char* key;
  Text does;
};

struct BeaconEntry {
  int type;
  Text fields;
  Text does;
};

struct BrakePositionEntry {
  const char* position;
  Text use;
};

// A point speed check (cab.h's kSpeedChecks, which the tools check with)
// and what the guide says after its limit. A negative signal or data word
// stands for "any"; for type 9 the limit is the data word, and the one given
// is an example.
struct SpeedLimitEntry {
  int type;
  int signal;
  int optional;
  float limit_kmh;
  Text note;  // printed after the limit; {nullptr, nullptr} for none
};
inline constexpr int kAny = kAnyWord;

// How far below a limit a steady train must be to pass a point speed check
// for sure, by its distance from 0 m. The unit narrows the location to
// float32, so the distance run in a frame is off by up to one float32 step at
// that location, and the speed worked out from it by that step over the
// frame time. The margins are that bound for 16 ms frames, rounded up.
struct SpeedMarginEntry {
  Text locations;
  double farthest_m;  // the last location the margin holds for (a float32 binade's end)
  float margin_kmh;
};

inline constexpr Text kNeverChanges{"never changes", "変わらない"};
inline constexpr Text kAlways0{"always 0", "常に 0"};
inline constexpr Text kAlways1{"always 1", "常に 1"};
inline constexpr Text kOneShot{"one-shot", "単発音"};

inline constexpr std::array<PanelEntry, 48> kPanel = {{
    {kPanelUnitOn,
     PanelKind::kFlag,
     0,
     {"unit switched on", "装置 入"},
     {"lit from key 10 (switch on) until key 11 (switch off)",
      "キー 10（電源 入）からキー 11（電源 切）まで点灯"}},
    {kPanelUnitOff,
     PanelKind::kFlag,
     0,
     {"unit switched off", "装置 切"},
     {"lit from loading until key 10, and again after key 11; the same as 101",
      "読み込みからキー 10 まで、およびキー 11 の後に点灯。101 と同じ"}},
    {kPanelTripped,
     PanelKind::kFlag,
     0,
     {"unit tripped", "装置 動作"},
     {"lit from a trip until the reset (key 3 with the handles secured) or key 11",
      "動作から、復帰（ハンドルを安全位置にしてキー 3）またはキー 11 まで点灯"}},
    {3, PanelKind::kConstant, 1, kAlways1, kNeverChanges},
    {kPanelWarning,
     PanelKind::kFlag,
     0,
     {"warning lamp: trip, warning brake or speed doubt", "警告灯：動作、警報ブレーキ、速度不一致"},
     {"lit while the unit is tripped, while a warning brake is demanded, or in a frame with speed "
      "doubt: the simulator's speed and the speed the unit works out from the distance run in the "
      "last frame differ by more than 2 km/h (also while the unit is off). The first frame after "
      "loading is worked out from 0 m at time 0, so a train starting away from 0 m may light it "
      "for that frame. Far along a long route speed doubt comes without any fault (see the point "
      "speed checks under Beacons)",
      "装置の動作中、警報ブレーキの要求中、または速度不一致のフレームで点灯（装置 切でも）。"
      "速度不一致とは、シミュレータの速度と、装置が直前のフレームの走行距離から求めた速度とが "
      "2 km/h を超えて異なること。読み込み後の最初のフレームは 0 m、時刻 0 から求めるので、"
      "0 m 以外から発車する列車ではそのフレームで点灯することがある。長い路線の遠方では、"
      "故障がなくても速度不一致が起きる（「地上子」の速度照査を参照）"}},
    {kPanelRunning,
     PanelKind::kFlag,
     0,
     {"train running", "走行中"},
     {"lit while the train runs faster than 5 km/h with the doors closed",
      "ドアが閉じていて、列車が 5 km/h を超えて走っている間点灯"}},
    {kPanelEmergency,
     PanelKind::kFlag,
     0,
     {"emergency brake", "非常ブレーキ"},
     {"lit while the unit is tripped or the driver's brake handle is in the emergency position; "
      "it follows the driver's handle, not the brake the unit applies",
      "装置の動作中、または運転士のブレーキハンドルが非常位置にある間点灯。"
      "装置がかけるブレーキではなく、運転士のハンドルに従う"}},
    {kPanelCurrentNegative,
     PanelKind::kFlag,
     0,
     {"traction current negative", "主電動機電流 負"},
     {"lit while the traction current is below 0 (the electric brake feeding back)",
      "主電動機電流が 0 未満（回生ブレーキ中）の間点灯"}},
    {kPanelStationMode,
     PanelKind::kFlag,
     0,
     {"station mode (mode 0)", "駅モード（モード 0）"},
     {"lit from a type-11 beacon until a type-10 beacon or a type-15 beacon that selects a mode",
      "種別 11 の地上子から、種別 10 の地上子、またはモードを選ぶ種別 15 の地上子まで点灯"}},
    {kPanelStopWindow,
     PanelKind::kFlag,
     0,
     {"stopped in the stop window", "停止許容範囲内に停止"},
     {"lit while the train stands still (speed exactly 0) within about 0.3 m of the stop target "
      "of the latest type-12 beacon, also while the unit is off. Before the first type-12 beacon "
      "the target is 0 m, so a train standing at 0 m shows it from loading on. The distance is "
      "compared in binary, so a stand exactly 0.3 m from the target may still count",
      "列車が停止し（速度がちょうど 0）、最新の種別 12 の地上子の停止目標から約 0.3 m "
      "以内にある間点灯（装置 切でも）。最初の種別 12 の地上子より前は停止目標が 0 m なので、"
      "0 m に停止している列車では読み込み直後から点灯する。距離は二進数で比べるので、"
      "停止目標からちょうど 0.3 m の停止も範囲内になることがある"}},
    {kPanelStopLatch,
     PanelKind::kFlag,
     0,
     {"stop latched", "停止記憶"},
     {"lit once the train has stood in the stop window with the doors closed while station mode "
      "is on; stays lit when the train moves off or the doors open; goes out when station mode "
      "ends",
      "駅モード中に、ドアを閉じた状態で停止許容範囲内に停止すると点灯。"
      "発車してもドアを開けても点灯したまま。駅モードが終わると消灯"}},
    {kPanelDoorBlink,
     PanelKind::kFlag,
     0,
     {"doors open, blinking", "ドア開（点滅）"},
     {"while the doors are open: lit for the first half of every second of simulator time, so it "
      "blinks once a second; dark while they are closed",
      "ドアが開いている間、シミュレータ時間の毎秒の前半に点灯するので、毎秒一回点滅する。"
      "閉じている間は消灯"}},
    {100, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {kPanelOffLamp,
     PanelKind::kFlag,
     0,
     {"unit switched off", "装置 切"},
     {"the same as 1", "1 と同じ"}},
    {102, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {103, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {104, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {105, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {106, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {107, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {kPanelCounter,
     PanelKind::kCounter,
     0,
     {"door counter", "ドアカウンタ"},
     {"the number of door openings and closings since loading, also those while the unit is off "
      "(each report counts 1, a closing reported again without an opening between too; the "
      "simulator's first report that the doors are closed counts as well, so the first switch-on "
      "shows 1; counting stops at 30), or the value of the latest type-200 beacon, which door "
      "events then count on from while it is below 30. Shown only while the unit is on: 0 while "
      "it is off or the display is blanked",
      "読み込みからのドアの開閉の回数（装置 切の間の開閉も数える。通知ごとに 1 "
      "加算し、間に開かずに再び閉が通知されても数える。シミュレータが最初にドアが閉じていると"
      "通知した分も数えるので、最初の電源投入では 1 を表示する。30 で数えるのをやめる）、"
      "または最新の種別 200 の地上子の値で、その値が 30 未満の間はドアの開閉でそこから数え続ける。"
      "表示は装置 入の間だけで、装置 切の間と表示消去中は 0"}},
    {kPanelCounterBlank,
     PanelKind::kFlag,
     0,
     {"display blanked", "表示消去"},
     {"after a door change: lit from the frame after the one that first shows the change, while "
      "less than 500 ms of simulator time have passed since that frame. After a type-200 beacon: "
      "lit from the first frame after the beacon, while less than 500 ms have passed since the "
      "frame before it; then the beacon's value shows. The simulator's first report that the "
      "doors are closed, at loading, is a door change too: the display is blanked from the "
      "second frame until 500 ms after the first (and in the first frame too if its time is "
      "below 500 ms). While it is lit, 200 and 206 to 222 show 0 (the counter steps 216 and 217 "
      "do not)",
      "ドアの開閉の後：変化を最初に示したフレームの次のフレームから、そのフレームからのシミュレータ"
      "時間が 500 ms 未満の間点灯。種別 200 の地上子の後：地上子の後の最初のフレームから、"
      "地上子の直前のフレームから 500 ms 未満の間点灯し、その後に地上子の値を表示する。"
      "読み込み時にシミュレータが最初にドアが閉じていると通知するのもドアの開閉にあたり、"
      "二番目のフレームから最初のフレームの 500 ms 後まで表示を消去する（最初のフレームの時刻が "
      "500 ms 未満なら最初のフレームも）。点灯中は 200 と 206〜222 が 0 を表示する"
      "（カウンタ段の 216 と 217 は除く）"}},
    {kPanelMrRising,
     PanelKind::kFlag,
     0,
     {"main reservoir filling", "元空気だめ 充気中"},
     {"lit in each frame in which the main-reservoir pressure is higher than in the frame before; "
      "dark with the doors open",
      "元空気だめの圧力が前のフレームより高いフレームごとに点灯。ドアが開いていると消灯"}},
    {kPanelBcBars,
     PanelKind::kBars,
     0,
     {"brake-cylinder pressure", "ブレーキシリンダ圧力"},
     {"1 bar above 0, 2 above 100, 3 above 200, 4 above 300, 5 above 400 (the simulator's "
      "pressure unit); 0 with the doors open",
      "0 を超えると 1 段、100 を超えると 2 段、200 を超えると 3 段、300 を超えると 4 段、"
      "400 を超えると 5 段（圧力の単位はシミュレータのもの）。ドアが開いていると 0"}},
    {kPanelCurrentBarsPos,
     PanelKind::kBars,
     0,
     {"traction current, motoring", "主電動機電流（力行）"},
     {"1 bar above 0, 2 above 25, 3 above 50, 4 above 75, 5 above 100 (the simulator's current "
      "unit); 0 with the doors open",
      "0 を超えると 1 段、25 を超えると 2 段、50 を超えると 3 段、75 を超えると 4 段、"
      "100 を超えると 5 段（電流の単位はシミュレータのもの）。ドアが開いていると 0"}},
    {kPanelCurrentBarsNeg,
     PanelKind::kBars,
     0,
     {"traction current, braking", "主電動機電流（回生）"},
     {"1 bar below 0, 2 below -25, 3 below -50, 4 below -75, 5 below -100; 0 with the doors open",
      "0 未満で 1 段、-25 未満で 2 段、-50 未満で 3 段、-75 未満で 4 段、-100 未満で 5 段。"
      "ドアが開いていると 0"}},
    {kPanelDoorsClosed,
     PanelKind::kFlag,
     0,
     {"doors closed", "ドア閉"},
     {"lit while the doors are closed", "ドアが閉じている間点灯"}},
    {kPanelDoorsClosed + 1,
     PanelKind::kFlag,
     0,
     {"doors closed", "ドア閉"},
     {"the same as 210", "210 と同じ"}},
    {kPanelDoorsClosed + 2,
     PanelKind::kFlag,
     0,
     {"doors closed", "ドア閉"},
     {"the same as 210", "210 と同じ"}},
    {215, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {kPanelCounterStepA,
     PanelKind::kSteps,
     0,
     {"first counter step", "第一カウンタ段"},
     {"from the counter while the unit is on: 1 up to 3, 2 from 4 to 6, 3 from 7 to 9, 4 from 10 "
      "to 12, 5 from 13 to 15, 6 from 16 to 18, 0 from 19; keeps its value while the unit is off",
      "装置 入の間、カウンタの値から：3 以下で 1、4〜6 で 2、7〜9 で 3、10〜12 で 4、"
      "13〜15 で 5、16〜18 で 6、19 以上で 0。装置 切の間は値を保つ"}},
    {kPanelCounterStepB,
     PanelKind::kSteps,
     0,
     {"second counter step", "第二カウンタ段"},
     {"one more than 216 (2 up to 3, ... 7 from 16 to 18), 0 from 19; keeps its value while the "
      "unit is off",
      "216 より一つ大きい値（3 以下で 2 から、16〜18 で 7 まで）、19 以上で 0。"
      "装置 切の間は値を保つ"}},
    {kPanelReverserForward,
     PanelKind::kFlag,
     0,
     {"reverser forward", "レバーサ 前進"},
     {"lit while the doors are closed and the reverser is forward",
      "ドアが閉じていて、レバーサが前進の間点灯"}},
    {kPanelReverserBackward,
     PanelKind::kFlag,
     0,
     {"reverser backward", "レバーサ 後進"},
     {"lit while the doors are closed and the reverser is backward",
      "ドアが閉じていて、レバーサが後進の間点灯"}},
    {kPanelDoorsOpen,
     PanelKind::kFlag,
     0,
     {"doors open", "ドア開"},
     {"lit while the doors are open", "ドアが開いている間点灯"}},
    {kPanelDoorsOpen + 1,
     PanelKind::kFlag,
     0,
     {"doors open", "ドア開"},
     {"the same as 220", "220 と同じ"}},
    {kPanelDoorsOpen + 2,
     PanelKind::kFlag,
     0,
     {"doors open", "ドア開"},
     {"the same as 220", "220 と同じ"}},
    {225, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {226, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {228, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {229, PanelKind::kConstant, 0, kAlways0, kNeverChanges},
    {kPanelModeBase + 1,
     PanelKind::kFlag,
     0,
     {"mode 1", "モード 1"},
     {"lit from a type-15 beacon with data word 241 until another mode beacon (types 10, 11, 15)",
      "送信値 241 の種別 15 の地上子から、次のモードの地上子（種別 10、11、15）まで点灯"}},
    {kPanelModeBase + 2,
     PanelKind::kFlag,
     0,
     {"mode 2", "モード 2"},
     {"as 241, with data word 242", "241 と同じ（送信値 242）"}},
    {kPanelModeBase + 3,
     PanelKind::kFlag,
     0,
     {"mode 3", "モード 3"},
     {"as 241, with data word 243", "241 と同じ（送信値 243）"}},
    {kPanelModeBase + 4,
     PanelKind::kFlag,
     0,
     {"mode 4", "モード 4"},
     {"as 241, with data word 244", "241 と同じ（送信値 244）"}},
    {kPanelModeBase + 5,
     PanelKind::kFlag,
     0,
     {"mode 5", "モード 5"},
     {"as 241, with data word 245", "241 と同じ（送信値 245）"}},
    {kPanelModeBase + 6,
     PanelKind::kFlag,
     0,
     {"mode 6", "モード 6"},
     {"as 241, with data word 246", "241 と同じ（送信値 246）"}},
    {255, PanelKind::kConstant, 1, kAlways1, kNeverChanges},
}};

inline constexpr std::array<SoundEntry, 8> kSound = {{
    {kSoundUnitOn,
     {"unit switched on", "装置 入"},
     {"1 (play once) when key 10 switches the unit on from off; the next switch-on from off sends "
      "2 (continue), the one after it 1 again, and so on, so every second switch-on is silent (2 "
      "leaves the sound as it is). The simulator's initialisation of a run sends -10000 (stop), "
      "and the next switch-on plays again. Pressing key 10 while on changes nothing",
      "キー 10 で装置を切から入にすると 1（一度再生）。次に切から入にすると 2（継続）、"
      "その次は再び 1、と交互になるので、電源投入の二回に一回は鳴らない（2 は音をそのままにする）。"
      "シミュレータが運転を初期化すると -10000（停止）を送り、次の電源投入で再び鳴る。"
      "装置 入の間にキー 10 を押しても何も変わらない"},
     kOneShot},
    {kSoundStarting,
     {"train starts", "発車"},
     {"1 in the one frame in which the train starts running faster than 5 km/h with the doors "
      "closed; 2 in every other frame",
      "ドアが閉じた状態で列車が 5 km/h を超えて走り出したフレームだけ 1、ほかのフレームでは 2"},
     kOneShot},
    {kSoundStopping,
     {"train stops", "停車"},
     {"1 in the one frame in which that running ends (5 km/h or slower, or the doors open); 2 in "
      "every other frame",
      "その走行が終わったフレーム（5 km/h 以下になるか、ドアが開く）だけ 1、"
      "ほかのフレームでは 2"},
     kOneShot},
    {kSoundBrakeAir,
     {"brake air", "ブレーキ空気音"},
     {"1 in every frame in which the brake-cylinder pressure, cut to a whole number, lies in a "
      "band from a multiple of 33 up to 6 above it (33 to 38, 66 to 71, ...), unless the latest "
      "brake handle move was to a lower position; 2 in every other frame. So it starts again in "
      "each such frame",
      "ブレーキシリンダ圧力を整数に切り捨てた値が、33 の倍数からその 6 上までの帯"
      "（33〜38、66〜71 など）にあるフレームごとに 1。ただし直前のブレーキハンドル操作が"
      "下げる向きなら送らない。ほかのフレームでは 2。このため、そうしたフレームごとに鳴り直す"},
     {"short one-shot", "短い単発音"}},
    {kSoundAlarm,
     {"warning-brake alarm", "警報ブレーキの警報音"},
     {"while a warning brake is demanded: 0 (play looping) and 2 (continue) in turn, frame by "
      "frame, so the loop is started again every second frame (25 times a second at 50 frames a "
      "second); -10000 (stop) when the brake is put at the last service notch or beyond. "
      "Switching the unit off ends the warning brake but not the alarm",
      "警報ブレーキの要求中：フレームごとに 0（ループ再生）と 2（継続）を交互に送るので、"
      "ループは二フレームごとに始め直される（毎秒 50 フレームなら毎秒 25 回）。"
      "ブレーキを常用最終ノッチ以上にすると -10000（停止）。"
      "装置の電源を切ると警報ブレーキは終わるが、警報音は止まらない"},
     {"looping steady tone: it is started again every second frame, so use a tone whose start "
      "sounds like the rest (no attack, no gap)",
      "ループする一定の音：二フレームごとに始め直されるので、鳴り始めがほかの部分と同じに"
      "聞こえる音（立ち上がりも途切れもない音）を使う"}},
    {kSoundBell,
     {"trip bell, strike", "動作ベル（一打）"},
     {"1 and 2 in turn, frame by frame, while the train rolls against the reverser or runs with "
      "the reverser in neutral (so it is struck again every second frame); toggled the same way "
      "by each beacon passed while tripped; -10000 (stop) at the reset (key 3)",
      "列車がレバーサと逆向きに転動している間、またはレバーサ中立で走っている間、"
      "フレームごとに 1 と 2 を交互に送る（二フレームごとに打ち直す）。"
      "動作中に地上子を通過するたびにも同じく切り替わる。復帰（キー 3）で -10000（停止）"},
     {"one-shot: a single strike of the bell. While the train rolls against the reverser or "
      "moves in neutral it is started again 25 times a second (at 50 frames a second), so a "
      "strike whose start sounds like the rest fits best",
      "単発音：ベルの一打。レバーサと逆向きに転動している間や中立で動いている間は毎秒 25 回"
      "（毎秒 50 フレームのとき）鳴らし直すので、鳴り始めがほかの部分と同じに聞こえる一打が"
      "最も合う"}},
    {kSoundBellLoop,
     {"trip bell, ringing", "動作ベル（連続）"},
     {"0 (play looping) and 2 (continue) in turn, at the same moments as 8; a trip at a beacon "
      "leaves it at 0, so it rings on until the reset (key 3) sends -10000",
      "8 と同じときに 0（ループ再生）と 2（継続）を交互に送る。地上子での動作では 0 "
      "のままになるので、復帰（キー 3）が -10000 を送るまで鳴り続ける"},
     {"looping: the bell ringing on. Like 8, it is started again every second frame while the "
      "train rolls against the reverser or moves in neutral",
      "ループ音：鳴り続けるベル。8 と同じく、レバーサと逆向きに転動している間や中立で"
      "動いている間は二フレームごとに始め直される"}},
    {kSoundDoor,
     {"doors closing", "ドア閉め"},
     {"1 when the doors close (2 if they close again without opening in between); -10000 (stop) "
      "when they open. In station mode (panel 9) closing the doors leaves it as it was",
      "ドアが閉じると 1（間に開かずに再び閉じたときは 2）。開くと -10000（停止）。"
      "駅モード（パネル 9）ではドアを閉じても変えない"},
     kOneShot},
}};

inline constexpr std::array<KeyEntry, 5> kKeys = {{
    {"0",
     {"held: closing the doors demands no warning brake, even with the reverser out of "
      "neutral or power applied",
      "押している間：レバーサが中立でなくても、力行中でも、ドアを閉めたときに"
      "警報ブレーキを要求しない"}},
    {"3",
     {"reset: clears a trip and stops the bell, only with the handles secured (reverser "
      "neutral, power off, brake in the emergency position)",
      "復帰：ハンドルが安全位置（レバーサ中立、力行 切、ブレーキ非常位置）のときだけ、"
      "動作を解除してベルを止める"}},
    {"10",
     {"switch the unit on; it trips at once unless the handles are secured, or if the doors "
      "are open and the train runs faster than 5 km/h; pressed again while on, it repeats "
      "those checks",
      "装置の電源を入れる。ハンドルが安全位置でないとき、またはドアが開いていて列車が "
      "5 km/h を超えて走っているときは、すぐに動作する。入の間にもう一度押すと同じ確認を繰り返す"}},
    {"11",
     {"switch the unit off: clears a trip and a warning brake; the unit holds the emergency "
      "brake while it is off",
      "装置の電源を切る：動作と警報ブレーキを解除する。切の間、装置は非常ブレーキをかけ続ける"}},
    {"F7",
     {"not a simulator key: the unit reads the PC keyboard itself. The first frame with F7 "
      "held shows a warning box; any later one ends the simulator at once",
      "シミュレータのキーではなく、装置が PC のキーボードを直接読む。F7 "
      "を押している最初のフレームで警告ボックスを表示し、それ以降のフレームではシミュレータを"
      "ただちに終了させる"}},
}};

// N is the vehicle's number of service brake notches, as the simulator reports
// it; every position below follows from it except the speed hold's.
inline constexpr std::array<BrakePositionEntry, 4> kBrakePositions = {{
    {"N + 1",
     {"the emergency position: the brake the unit applies while it is off, tripped or "
      "warning; the position that key 3 (reset) and key 10 (switch on) demand; panel 7",
      "非常位置：装置が 切、動作、警報の間にかけるブレーキ。キー 3（復帰）とキー 10"
      "（電源 入）が求める位置。パネル 7"}},
    {"N",
     {"full service: the governor's brake above 76 km/h, until the speed is below 71 km/h. "
      "It replaces every other brake, the emergency brake included",
      "常用最大：76 km/h を超えると速度抑制がかけるブレーキで、71 km/h 未満になるまで続く。"
      "非常ブレーキを含むほかのすべてのブレーキに代わる"}},
    {"N - 1",
     {"the last position that does not cancel a warning brake: putting the brake above it "
      "(N or N + 1) ends the warning brake and stops the alarm",
      "警報ブレーキを解除しない最後の位置：これより上（N か N + 1）にすると警報ブレーキが"
      "終わり、警報音が止まる"}},
    {"4",
     {"the speed hold's brake, the same for every vehicle (with fewer than 4 service notches "
      "it is the emergency position or beyond)",
      "定速のブレーキ。どの車両でも同じ（常用ノッチが 4 より少ない車両では非常位置かそれ以上）"}},
}};

inline constexpr std::array<BeaconEntry, 7> kBeacons = {{
    {0,
     {"signal, data word", "信号現示、送信値"},
     {"point speed check with a limit chosen by the signal value, or by the data word 50 or 150 "
      "(table below)",
      "速度照査。制限速度は信号現示、または送信値 50 か 150 で決まる（下の表）"}},
    {9,
     {"data word", "送信値"},
     {"point speed check with the data word as the limit in km/h",
      "速度照査。送信値が制限速度（km/h）"}},
    {10,
     {"none", "なし"},
     {"ends the mode: no mode selected (panel 9 and 241 to 246 go dark)",
      "モードを終える：どのモードも選ばれていない状態にする（パネル 9 と 241〜246 が消灯）"}},
    {11,
     {"none", "なし"},
     {"selects station mode (mode 0, panel 9): the stop can be latched, and closing the doors "
      "sounds no door sound",
      "駅モード（モード 0、パネル 9）を選ぶ：停止を記憶でき、ドアを閉めてもドアの音は鳴らない"}},
    {12,
     {"data word", "送信値"},
     {"sets the stop target to the data word, a location in whole metres (the location the route "
      "gives the stopping point, not a distance)",
      "停止目標を送信値にする。メートル単位の整数の位置（距離ではなく、路線上の停止位置の距程）"}},
    {15,
     {"data word", "送信値"},
     {"data word 241 to 246 selects mode 1 to 6 (panel 241 to 246); other data words do nothing",
      "送信値 241〜246 でモード 1〜6（パネル 241〜246）を選ぶ。ほかの送信値では何もしない"}},
    {200,
     {"data word", "送信値"},
     {"sets the door counter (panel 200) to the data word, any whole number, and blanks the "
      "display for 500 ms",
      "ドアカウンタ（パネル 200）を送信値（任意の整数）にし、表示を 500 ms 消去する"}},
}};

// The notes, row by row of kSpeedChecks; {nullptr, nullptr} for none.
inline constexpr std::array<Text, kSpeedChecks.size()> kSpeedLimitNotes = {{
    {"trips at any speed other than standstill", "停止以外のどの速度でも動作"},
    {},
    {},
    {},
    {},
    {},
    {},
}};
constexpr std::array<SpeedLimitEntry, kSpeedChecks.size()> WithNotes() {
  std::array<SpeedLimitEntry, kSpeedChecks.size()> rows{};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const SpeedCheck& c = kSpeedChecks[i];
    rows[i] = {c.type, c.signal, c.optional, c.limit_kmh, kSpeedLimitNotes[i]};
  }
  return rows;
}
inline constexpr std::array<SpeedLimitEntry, kSpeedChecks.size()> kSpeedLimits = WithNotes();

inline constexpr std::array<SpeedMarginEntry, 4> kSpeedMargins = {{
    {{"up to 65 km", "65 km まで"}, 65535.0, 1.0f},
    {{"65 to 131 km", "65〜131 km"}, 131071.0, 2.0f},
    {{"131 to 262 km", "131〜262 km"}, 262143.0, 4.0f},
    {{"262 to 524 km", "262〜524 km"}, 524287.0, 8.0f},
}};

// The reference lists the panel and sound indices in the trace's order, so
// that a new index cannot be traced without being documented.
constexpr bool MatchesTrace() {
  for (std::size_t i = 0; i < kPanel.size(); ++i) {
    if (kPanel[i].index != kPanelIndices[i].index) return false;
  }
  for (std::size_t i = 0; i < kSound.size(); ++i) {
    if (kSound[i].index != kSoundIndices[i].index) return false;
  }
  return kPanel.size() == kPanelIndices.size() && kSound.size() == kSoundIndices.size();
}
static_assert(MatchesTrace(), "every traced panel and sound index needs its reference entry");

// Every text of the tables in both languages (see Complete()); a limit's note
// is the one text that may be left out, in both languages at once.
constexpr bool EveryTextInBothLanguages() {
  for (const PanelEntry& e : kPanel) {
    if (!Complete(e.shows) || !Complete(e.when)) return false;
  }
  for (const SoundEntry& e : kSound) {
    if (!Complete(e.sound) || !Complete(e.commands) || !Complete(e.file)) return false;
  }
  for (const KeyEntry& e : kKeys) {
    if (!Complete(e.does)) return false;
  }
  for (const BrakePositionEntry& e : kBrakePositions) {
    if (!Complete(e.use)) return false;
  }
  for (const BeaconEntry& e : kBeacons) {
    if (!Complete(e.fields) || !Complete(e.does)) return false;
  }
  for (const SpeedLimitEntry& e : kSpeedLimits) {
    if ((e.note.en != nullptr || e.note.ja != nullptr) && !Complete(e.note)) return false;
  }
  for (const SpeedMarginEntry& e : kSpeedMargins) {
    if (!Complete(e.locations)) return false;
  }
  return true;
}
static_assert(EveryTextInBothLanguages(),
              "every text of the reference needs its English (ASCII) and its Japanese");

}  // namespace atshost::reference

#endif  // ATSHOST_REFERENCE_CAB_REFERENCE_H
