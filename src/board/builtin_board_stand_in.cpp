// Generated from boards/motor-driver.yaml: do not edit.
#include "board/board.h"
namespace tarnwick::board {
namespace {
Board Make() {
  Board b; b.format=1; b.name="Motor driver";
auto E=[&b](std::string_view n){ for (auto& e : b.enumerations) if (e->name==n) return e; return std::shared_ptr<const Enumeration>(); };
{ auto e=std::make_shared<Enumeration>(); e->name="drive-mode"; e->values.push_back({"Stop",0u}); e->values.push_back({"Forward",1u}); e->values.push_back({"Reversal",2u}); e->values.push_back({"ShortBrake",3u}); b.enumerations.push_back(e); }
{ auto e=std::make_shared<Enumeration>(); e->name="motor-type"; e->values.push_back({"Stepper",1u}); e->values.push_back({"D-C",2u}); b.enumerations.push_back(e); }
{ auto e=std::make_shared<Enumeration>(); e->name="baud-rate"; e->values.push_back({"2400",0u}); e->values.push_back({"4800",1u}); e->values.push_back({"9600",2u}); e->values.push_back({"19200",3u}); e->values.push_back({"38400",4u}); e->values.push_back({"57600",5u}); e->values.push_back({"115200",6u}); b.enumerations.push_back(e); }
{ Command c; c.name="CMD00"; c.code=0; c.title="Get device Address";
c.reply=ReplyRule::Always;
c.flag=FlagRule::Always;
c.action=Action::ReportAddress;
c.example="--port sim0";
c.request.size=0;
c.response.size=0;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD11"; c.code=17; c.title="Stepper Motor start by count";
c.requiresField="motor-type"; c.requiresValue=1u;
c.example="--port sim0 --addr 01 --step-count 0x1F40 --reverse";
{ Field f; f.name="step-count"; f.label="Step count"; f.type=WireType::U32Le; f.offset=0; f.size=4; f.bitLow=0; f.bitCount=31; f.min=0u; f.max=2147483647u; f.defaultText="6000"; f.text=TextRule::Count; f.specialWhen="not-limit"; f.specialValue=2147483647u; f.help="Step count: decimal, or hex after 0x"; c.request.fields.push_back(f); }
{ Field f; f.name="reverse"; f.label="Reverse"; f.type=WireType::U32Le; f.offset=0; f.size=4; f.bitLow=31; f.bitCount=1; f.min=0u; f.max=1u; f.defaultText="0"; f.text=TextRule::Decimal; f.setIf="step-count"; c.request.fields.push_back(f); }
{ Field f; f.name="not-limit"; f.label="Not-Limit"; f.type=WireType::Check; f.offset=4; f.size=0; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=1u; f.defaultText="0"; f.text=TextRule::Decimal; f.help="Not-Limit (run without a count)"; c.request.fields.push_back(f); }
c.request.size=4;
{ Field f; f.name="status"; f.label="status"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; f.isStatus=true; f.failure.push_back(1u); c.response.fields.push_back(f); }
c.response.size=1;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD12"; c.code=18; c.title="Start Stepper Motor by parameters";
c.requiresField="motor-type"; c.requiresValue=1u;
c.example="--port ttyUSB0 --addr 01 --frequency 1000 --pulse-duty 50";
c.form.push_back("step-count");
c.form.push_back("reverse");
c.form.push_back("not-limit");
c.form.push_back("frequency");
c.form.push_back("pulse-duty");
{ Field f; f.name="step-count"; f.label="Step count"; f.type=WireType::U32Le; f.offset=0; f.size=4; f.bitLow=0; f.bitCount=31; f.min=0u; f.max=2147483647u; f.defaultText="8000"; f.text=TextRule::Count; f.specialWhen="not-limit"; f.specialValue=2147483647u; f.help="Step count: decimal, or hex after 0x"; c.request.fields.push_back(f); }
{ Field f; f.name="reverse"; f.label="Reverse"; f.type=WireType::U32Le; f.offset=0; f.size=4; f.bitLow=31; f.bitCount=1; f.min=0u; f.max=1u; f.defaultText="0"; f.text=TextRule::Decimal; f.setIf="step-count"; c.request.fields.push_back(f); }
{ Field f; f.name="not-limit"; f.label="Not-Limit"; f.type=WireType::Check; f.offset=4; f.size=0; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=1u; f.defaultText="0"; f.text=TextRule::Decimal; f.help="Not-Limit (run without a count)"; c.request.fields.push_back(f); }
{ Field f; f.name="pulse-duty"; f.label="Pulse Duty"; f.type=WireType::U8; f.offset=4; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=100u; f.defaultText="100"; f.text=TextRule::Decimal; f.unit="%"; c.request.fields.push_back(f); }
{ Field f; f.name="frequency"; f.label="Frequency"; f.type=WireType::U16Le; f.offset=5; f.size=2; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=65535u; f.defaultText="0"; f.text=TextRule::Decimal; f.unit="Hz"; c.request.fields.push_back(f); }
c.request.size=7;
{ Field f; f.name="status"; f.label="status"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; f.isStatus=true; f.failure.push_back(1u); c.response.fields.push_back(f); }
c.response.size=1;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD13"; c.code=19; c.title="Read Step motor status";
c.requiresField="motor-type"; c.requiresValue=1u;
c.example="--port sim0 --addr 01 --json | jq .fields.step_count";
c.form.push_back("reverse");
c.form.push_back("step-count");
c.form.push_back("pulse-duty");
c.form.push_back("frequency");
c.request.size=0;
{ Field f; f.name="status"; f.label="status"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; f.isStatus=true; f.failure.push_back(1u); c.response.fields.push_back(f); }
{ Field f; f.name="reverse"; f.label="Reverse"; f.type=WireType::U32Le; f.offset=1; f.size=4; f.bitLow=31; f.bitCount=1; f.min=0u; f.max=1u; f.defaultText="0"; f.text=TextRule::Decimal; c.response.fields.push_back(f); }
{ Field f; f.name="step-count"; f.label="Step count"; f.type=WireType::U32Le; f.offset=1; f.size=4; f.bitLow=0; f.bitCount=31; f.min=0u; f.max=2147483647u; f.text=TextRule::Decimal; c.response.fields.push_back(f); }
{ Field f; f.name="pulse-duty"; f.label="Pulse Duty"; f.type=WireType::U8; f.offset=5; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.defaultText="100"; f.text=TextRule::Decimal; c.response.fields.push_back(f); }
{ Field f; f.name="frequency"; f.label="Frequency"; f.type=WireType::U16Le; f.offset=6; f.size=2; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=65535u; f.defaultText="2500"; f.text=TextRule::Decimal; c.response.fields.push_back(f); }
c.response.size=8;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD21"; c.code=33; c.title="D-C Motor start according special PWM value";
c.requiresField="motor-type"; c.requiresValue=2u;
c.example="--port sim0 --addr 01 --left-duty 50 --right-duty 50 --right-reverse";
{ Field f; f.name="left-duty"; f.label="Left Duty"; f.type=WireType::I8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=100u; f.defaultText="60"; f.text=TextRule::Decimal; f.required=true; f.signFrom="left-reverse"; f.unit="%"; c.request.fields.push_back(f); }
{ Field f; f.name="right-duty"; f.label="Right Duty"; f.type=WireType::I8; f.offset=1; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=100u; f.defaultText="60"; f.text=TextRule::Decimal; f.required=true; f.signFrom="right-reverse"; f.unit="%"; c.request.fields.push_back(f); }
{ Field f; f.name="left-reverse"; f.label="Left Reverse"; f.type=WireType::Check; f.offset=2; f.size=0; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=1u; f.defaultText="0"; f.text=TextRule::Decimal; c.request.fields.push_back(f); }
{ Field f; f.name="right-reverse"; f.label="Right Reverse"; f.type=WireType::Check; f.offset=2; f.size=0; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=1u; f.defaultText="0"; f.text=TextRule::Decimal; c.request.fields.push_back(f); }
c.request.size=2;
{ Field f; f.name="status"; f.label="status"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; f.isStatus=true; f.failure.push_back(1u); c.response.fields.push_back(f); }
c.response.size=1;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD22"; c.code=34; c.title="D-C Motor fast-starging";
c.requiresField="motor-type"; c.requiresValue=2u;
c.example="--port sim0 --addr 01 --left-mode forward --right-mode shortbrake";
{ Field f; f.name="left-mode"; f.label="Left"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=4; f.min=0u; f.max=3u; f.defaultText="Forward"; f.text=TextRule::Decimal; f.values=E("drive-mode"); c.request.fields.push_back(f); }
{ Field f; f.name="right-mode"; f.label="Right"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=4; f.bitCount=4; f.min=0u; f.max=3u; f.defaultText="Forward"; f.text=TextRule::Decimal; f.values=E("drive-mode"); c.request.fields.push_back(f); }
c.request.size=1;
{ Field f; f.name="status"; f.label="status"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; f.isStatus=true; f.failure.push_back(1u); c.response.fields.push_back(f); }
c.response.size=1;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD23"; c.code=35; c.title="Give DC-motor special runing parameters for next-starting";
c.requiresField="motor-type"; c.requiresValue=2u;
c.example="--port sim0 --addr 01 --left-frequency 20000 --right-pulse-duty 80";
c.form.push_back("left-frequency");
c.form.push_back("left-pulse-duty");
c.form.push_back("right-frequency");
c.form.push_back("right-pulse-duty");
{ Field f; f.name="left-pulse-duty"; f.label="Left Pulse Duty"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=100u; f.defaultText="100"; f.text=TextRule::Decimal; f.required=true; f.unit="%"; c.request.fields.push_back(f); }
{ Field f; f.name="right-pulse-duty"; f.label="Right Pulse Duty"; f.type=WireType::U8; f.offset=1; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=100u; f.defaultText="100"; f.text=TextRule::Decimal; f.required=true; f.unit="%"; c.request.fields.push_back(f); }
{ Field f; f.name="left-frequency"; f.label="Left Frequency"; f.type=WireType::U16Le; f.offset=2; f.size=2; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=65535u; f.defaultText="25000"; f.text=TextRule::Decimal; f.required=true; f.unit="Hz"; c.request.fields.push_back(f); }
{ Field f; f.name="right-frequency"; f.label="Right Frequency"; f.type=WireType::U16Le; f.offset=4; f.size=2; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=65535u; f.defaultText="25000"; f.text=TextRule::Decimal; f.required=true; f.unit="Hz"; c.request.fields.push_back(f); }
c.request.size=6;
{ Field f; f.name="status"; f.label="status"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; f.isStatus=true; f.failure.push_back(1u); c.response.fields.push_back(f); }
c.response.size=1;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD24"; c.code=36; c.title="Get DC-motor status";
c.reply=ReplyRule::Always;
c.action=Action::DcStatus;
c.requiresField="motor-type"; c.requiresValue=2u;
c.example="--port sim0 --addr 01";
c.request.size=0;
{ Field f; f.name="left"; f.label="Left"; f.type=WireType::I8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; c.response.fields.push_back(f); }
{ Field f; f.name="right"; f.label="Right"; f.type=WireType::I8; f.offset=1; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; c.response.fields.push_back(f); }
c.response.size=2;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD38"; c.code=56; c.title="Reset all parameters to default(D-C or Stepper)";
c.action=Action::ResetDefaults;
c.example="--port sim0 --addr 01";
c.request.size=0;
c.response.size=0;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD3F"; c.code=63; c.title="Stop motor(D-C or Stepper)";
c.action=Action::Stop;
c.example="--port sim0 --addr 01";
c.request.size=0;
{ Field f; f.name="status"; f.label="status"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; f.isStatus=true; f.failure.push_back(1u); c.response.fields.push_back(f); }
c.response.size=1;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD40"; c.code=64; c.title="Change Address of device";
c.action=Action::ChangeAddress;
c.example="--port sim0 --addr 01 --new-address 05";
{ Field f; f.name="new-address"; f.label="New Address"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=1u; f.max=254u; f.defaultText="58"; f.text=TextRule::Hex; f.required=true; c.request.fields.push_back(f); }
c.request.size=1;
c.response.size=0;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD41"; c.code=65; c.title="Change RS485 Baudrate";
c.action=Action::ChangeBaudRate;
c.example="--port sim0 --addr 01 --baudrate 19200";
{ Field f; f.name="baudrate"; f.label="Baudrate"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=6u; f.defaultText="9600"; f.text=TextRule::Decimal; f.values=E("baud-rate"); f.help="New line speed"; c.request.fields.push_back(f); }
c.request.size=1;
c.response.size=0;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD42"; c.code=66; c.title="Setup Motor type and default running parameters";
c.action=Action::SetupMotor;
c.example="--port sim0 --addr 01 --motor-type d-c --right-frequency 30000";
c.form.push_back("motor-type");
c.form.push_back("left-frequency");
c.form.push_back("left-pulse-duty");
c.form.push_back("right-frequency");
c.form.push_back("right-pulse-duty");
{ Field f; f.name="motor-type"; f.label="MotorType"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=1u; f.max=2u; f.defaultText="Stepper"; f.text=TextRule::Decimal; f.values=E("motor-type"); f.help="Motor type (Right fields apply to d-c only)"; c.request.fields.push_back(f); }
c.request.size=1;
c.request.switchOn="motor-type";
{ SwitchCase sc; sc.name="Stepper"; sc.value=1u;
{ Field f; f.name="left-pulse-duty"; f.label="Left Pulse Duty"; f.type=WireType::U8; f.offset=1; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=100u; f.defaultText="100"; f.text=TextRule::Decimal; f.outOfRange=OutOfRange::Cap; f.required=true; f.unit="%"; sc.fields.push_back(f); }
{ Field f; f.name="left-frequency"; f.label="Left Frequency"; f.type=WireType::U16Le; f.offset=2; f.size=2; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=65535u; f.defaultText="2500"; f.text=TextRule::Decimal; f.required=true; f.unit="Hz"; sc.fields.push_back(f); }
{ Field f; f.name=""; f.label=""; f.type=WireType::Pad; f.offset=4; f.size=3; sc.fields.push_back(f); }
sc.size=7; c.request.cases.push_back(std::move(sc)); }
{ SwitchCase sc; sc.name="D-C"; sc.value=2u;
{ Field f; f.name="left-pulse-duty"; f.label="Left Pulse Duty"; f.type=WireType::U8; f.offset=1; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=100u; f.defaultText="100"; f.text=TextRule::Decimal; f.outOfRange=OutOfRange::Cap; f.required=true; f.unit="%"; sc.fields.push_back(f); }
{ Field f; f.name="right-pulse-duty"; f.label="Right Pulse Duty"; f.type=WireType::U8; f.offset=2; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=100u; f.defaultText="100"; f.text=TextRule::Decimal; f.outOfRange=OutOfRange::Cap; f.required=true; f.unit="%"; sc.fields.push_back(f); }
{ Field f; f.name="left-frequency"; f.label="Left Frequency"; f.type=WireType::U16Le; f.offset=3; f.size=2; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=65535u; f.defaultText="2500"; f.text=TextRule::Decimal; f.required=true; f.unit="Hz"; sc.fields.push_back(f); }
{ Field f; f.name="right-frequency"; f.label="Right Frequency"; f.type=WireType::U16Le; f.offset=5; f.size=2; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=65535u; f.defaultText="50000"; f.text=TextRule::Decimal; f.required=true; f.unit="Hz"; sc.fields.push_back(f); }
sc.size=7; c.request.cases.push_back(std::move(sc)); }
{ Field f; f.name="status"; f.label="status"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; f.isStatus=true; f.failure.push_back(1u); c.response.fields.push_back(f); }
c.response.size=1;
b.commands.push_back(std::move(c)); }
{ Command c; c.name="CMD43"; c.code=67; c.title="Read Setup Data From Device";
c.reply=ReplyRule::Always;
c.action=Action::ReadSetup;
c.example="--port sim0 --addr 01 --json";
c.form.push_back("motor-type");
c.form.push_back("left-frequency");
c.form.push_back("left-pulse-duty");
c.form.push_back("right-frequency");
c.form.push_back("right-pulse-duty");
c.request.size=0;
{ Field f; f.name="motor-type"; f.label="MotorType"; f.type=WireType::U8; f.offset=0; f.size=1; f.bitLow=0; f.bitCount=0; f.min=1u; f.max=2u; f.text=TextRule::Decimal; f.values=E("motor-type"); c.response.fields.push_back(f); }
c.response.size=1;
c.response.switchOn="motor-type";
{ SwitchCase sc; sc.name="Stepper"; sc.value=1u;
{ Field f; f.name="left-pulse-duty"; f.label="Left Pulse Duty"; f.type=WireType::U8; f.offset=1; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; sc.fields.push_back(f); }
{ Field f; f.name="left-frequency"; f.label="Left Frequency"; f.type=WireType::U16Le; f.offset=2; f.size=2; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=65535u; f.text=TextRule::Decimal; sc.fields.push_back(f); }
sc.size=4; c.response.cases.push_back(std::move(sc)); }
{ SwitchCase sc; sc.name="D-C"; sc.value=2u;
{ Field f; f.name="left-pulse-duty"; f.label="Left Pulse Duty"; f.type=WireType::U8; f.offset=1; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; sc.fields.push_back(f); }
{ Field f; f.name="right-pulse-duty"; f.label="Right Pulse Duty"; f.type=WireType::U8; f.offset=2; f.size=1; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=255u; f.text=TextRule::Decimal; sc.fields.push_back(f); }
{ Field f; f.name="left-frequency"; f.label="Left Frequency"; f.type=WireType::U16Le; f.offset=3; f.size=2; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=65535u; f.text=TextRule::Decimal; sc.fields.push_back(f); }
{ Field f; f.name="right-frequency"; f.label="Right Frequency"; f.type=WireType::U16Le; f.offset=5; f.size=2; f.bitLow=0; f.bitCount=0; f.min=0u; f.max=65535u; f.text=TextRule::Decimal; sc.fields.push_back(f); }
sc.size=7; c.response.cases.push_back(std::move(sc)); }
b.commands.push_back(std::move(c)); }
return b;
}
}  // namespace
const Board& BuiltIn() { static const Board board = Make(); return board; }
}  // namespace tarnwick::board
