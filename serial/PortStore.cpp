// Storing and loading a port's settings in the registry or an ini file.
#include "serial/PortCore.h"
#include "serial/PortInternal.h"

#include "platform/IniFile.h"
#include "platform/Registry.h"

using serial_detail::Upper;

void TCustomComPort::SetRegistry(TRegistry& Reg, const std::string& Key)
{
    const size_t slash = Key.find('\\');
    if (slash == std::string::npos)
        return;
    const std::string root = Upper(Key.substr(0, slash));
    if (root == "HKEY_LOCAL_MACHINE")
        Reg.SetRootKey(HKEY_LOCAL_MACHINE);
    else if (root == "HKEY_CURRENT_USER")
        Reg.SetRootKey(HKEY_CURRENT_USER);
    std::string path = Key.substr(slash + 1);
    if (path.empty() || path.back() != '\\')
        path += '\\';
    path += Name();
    if (!Reg.OpenKey(path, true))
        throw ERegistryException("Unable to open the registry key " + path);
}

void TCustomComPort::StoreSettings(TStoreType StoreType, const std::string& StoreTo)
{
    try {
        if (StoreType == stIniFile) {
            TIniFile ini(StoreTo);
            StoreIniFile(ini);
        } else {
            TRegistry reg;
            SetRegistry(reg, StoreTo);
            StoreRegistry(reg);
            reg.CloseKey();
        }
    } catch (...) {
        throw EComPort(16);
    }
}

void TCustomComPort::LoadSettings(TStoreType StoreType, const std::string& LoadFrom)
{
    BeginUpdate();
    try {
        try {
            if (StoreType == stIniFile) {
                TIniFile ini(LoadFrom);
                LoadIniFile(ini);
            } else {
                TRegistry reg;
                SetRegistry(reg, LoadFrom);
                LoadRegistry(reg);
            }
        } catch (...) {
            EndUpdate();
            throw;
        }
        EndUpdate();
    } catch (...) {
        throw EComPort(17);
    }
}

namespace {

// One writer for both stores: the list of values and their order live in
// StoreValues below.
struct SettingsWriter {
    std::function<void(const std::string&, const std::string&)> text;
    std::function<void(const std::string&, int32_t)> integer;
};

} // namespace

static void StoreValues(const TCustomComPort& p, const SettingsWriter& w)
{
    const TStoredProps props = p.StoredProps();
    if (props.Contains(spBasic)) {
        w.text("Port", p.Port());
        w.text("BaudRate", BaudRateToStr(p.BaudRate()));
        if (p.BaudRate() == brCustom)
            w.integer("CustomBaudRate", p.CustomBaudRate());
        w.text("StopBits", StopBitsToStr(p.StopBits()));
        w.text("DataBits", DataBitsToStr(p.DataBits()));
        w.text("Parity", ParityToStr(p.Parity()->Bits()));
        w.text("FlowControl", FlowControlToStr(p.FlowControl()->FlowControl()));
    }
    if (props.Contains(spOthers)) {
        w.text("EventChar", CharToStr(p.EventChar()));
        w.text("DiscardNull", BoolToYesNo(p.DiscardNull()));
    }
    if (props.Contains(spParity)) {
        w.text("Parity.Check", BoolToYesNo(p.Parity()->Check()));
        w.text("Parity.Replace", BoolToYesNo(p.Parity()->Replace()));
        w.text("Parity.ReplaceChar", CharToStr(p.Parity()->ReplaceChar()));
    }
    if (props.Contains(spBuffer)) {
        w.integer("Buffer.OutputSize", p.Buffer()->OutputSize());
        w.integer("Buffer.InputSize", p.Buffer()->InputSize());
    }
    if (props.Contains(spTimeouts)) {
        w.integer("Timeouts.ReadInterval", p.Timeouts()->ReadInterval());
        w.integer("Timeouts.ReadTotalConstant", p.Timeouts()->ReadTotalConstant());
        w.integer("Timeouts.ReadTotalMultiplier", p.Timeouts()->ReadTotalMultiplier());
        w.integer("Timeouts.WriteTotalConstant", p.Timeouts()->WriteTotalConstant());
        w.integer("Timeouts.WriteTotalMultiplier", p.Timeouts()->WriteTotalMultiplier());
    }
    if (props.Contains(spFlowControl)) {
        const TComFlowControl& f = *p.FlowControl();
        w.text("FlowControl.ControlRTS", RTSToStr(f.ControlRTS()));
        w.text("FlowControl.ControlDTR", DTRToStr(f.ControlDTR()));
        w.text("FlowControl.DSRSensitivity", BoolToYesNo(f.DSRSensitivity()));
        w.text("FlowControl.OutCTSFlow", BoolToYesNo(f.OutCTSFlow()));
        w.text("FlowControl.OutDSRFlow", BoolToYesNo(f.OutDSRFlow()));
        w.text("FlowControl.TxContinueOnXoff", BoolToYesNo(f.TxContinueOnXoff()));
        w.text("FlowControl.XonXoffIn", BoolToYesNo(f.XonXoffIn()));
        w.text("FlowControl.XonXoffOut", BoolToYesNo(f.XonXoffOut()));
        w.text("FlowControl.XoffChar", CharToStr(f.XoffChar()));
        w.text("FlowControl.XonChar", CharToStr(f.XonChar()));
    }
}

namespace {

// One reader for both stores. text(name, present text form) and
// integer(name, present value) return what is stored.
struct SettingsReader {
    std::function<std::string(const std::string&, const std::string&)> text;
    std::function<int32_t(const std::string&, int32_t)> integer;
};

} // namespace

static void LoadValues(TCustomComPort& p, const SettingsReader& r)
{
    const TStoredProps props = p.StoredProps();
    if (props.Contains(spBasic)) {
        p.SetPort(r.text("Port", p.Port()));
        p.SetBaudRate(StrToBaudRate(r.text("BaudRate", BaudRateToStr(p.BaudRate()))));
        if (p.BaudRate() == brCustom)
            p.SetCustomBaudRate(r.integer("CustomBaudRate", 9600));
        p.SetStopBits(StrToStopBits(r.text("StopBits", StopBitsToStr(p.StopBits()))));
        p.SetDataBits(StrToDataBits(r.text("DataBits", DataBitsToStr(p.DataBits()))));
        p.Parity()->SetBits(StrToParity(r.text("Parity", ParityToStr(p.Parity()->Bits()))));
        p.FlowControl()->SetFlowControl(
            StrToFlowControl(r.text("FlowControl", FlowControlToStr(p.FlowControl()->FlowControl()))));
    }
    if (props.Contains(spOthers)) {
        p.SetEventChar(StrToChar(r.text("EventChar", CharToStr(p.EventChar()))));
        p.SetDiscardNull(YesNoToBool(r.text("DiscardNull", BoolToYesNo(p.DiscardNull()))));
    }
    if (props.Contains(spParity)) {
        TComParity& par = *p.Parity();
        par.SetCheck(YesNoToBool(r.text("Parity.Check", BoolToYesNo(par.Check()))));
        par.SetReplace(YesNoToBool(r.text("Parity.Replace", BoolToYesNo(par.Replace()))));
        par.SetReplaceChar(StrToChar(r.text("Parity.ReplaceChar", CharToStr(par.ReplaceChar()))));
    }
    if (props.Contains(spBuffer)) {
        p.Buffer()->SetOutputSize(r.integer("Buffer.OutputSize", p.Buffer()->OutputSize()));
        p.Buffer()->SetInputSize(r.integer("Buffer.InputSize", p.Buffer()->InputSize()));
    }
    if (props.Contains(spTimeouts)) {
        TComTimeouts& t = *p.Timeouts();
        t.SetReadInterval(r.integer("Timeouts.ReadInterval", t.ReadInterval()));
        t.SetReadTotalC(r.integer("Timeouts.ReadTotalConstant", t.ReadTotalConstant()));
        t.SetReadTotalM(r.integer("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier()));
        t.SetWriteTotalC(r.integer("Timeouts.WriteTotalConstant", t.WriteTotalConstant()));
        t.SetWriteTotalM(r.integer("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier()));
    }
    if (props.Contains(spFlowControl)) {
        TComFlowControl& f = *p.FlowControl();
        f.SetControlRTS(StrToRTS(r.text("FlowControl.ControlRTS", RTSToStr(f.ControlRTS()))));
        f.SetControlDTR(StrToDTR(r.text("FlowControl.ControlDTR", DTRToStr(f.ControlDTR()))));
        f.SetDSRSensitivity(YesNoToBool(r.text("FlowControl.DSRSensitivity", BoolToYesNo(f.DSRSensitivity()))));
        f.SetOutCTSFlow(YesNoToBool(r.text("FlowControl.OutCTSFlow", BoolToYesNo(f.OutCTSFlow()))));
        f.SetOutDSRFlow(YesNoToBool(r.text("FlowControl.OutDSRFlow", BoolToYesNo(f.OutDSRFlow()))));
        f.SetTxContinueOnXoff(
            YesNoToBool(r.text("FlowControl.TxContinueOnXoff", BoolToYesNo(f.TxContinueOnXoff()))));
        f.SetXonXoffIn(YesNoToBool(r.text("FlowControl.XonXoffIn", BoolToYesNo(f.XonXoffIn()))));
        f.SetXonXoffOut(YesNoToBool(r.text("FlowControl.XonXoffOut", BoolToYesNo(f.XonXoffOut()))));
        f.SetXoffChar(StrToChar(r.text("FlowControl.XoffChar", CharToStr(f.XoffChar()))));
        f.SetXonChar(StrToChar(r.text("FlowControl.XonChar", CharToStr(f.XonChar()))));
    }
}

void TCustomComPort::StoreRegistry(TRegistry& Reg)
{
    StoreValues(*this, {[&](const std::string& n, const std::string& v) { Reg.WriteString(n, v); },
                        [&](const std::string& n, int32_t v) { Reg.WriteInteger(n, v); }});
}

void TCustomComPort::StoreIniFile(TIniFile& IniFile)
{
    const std::string section = Name();
    StoreValues(*this, {[&](const std::string& n, const std::string& v) { IniFile.WriteString(section, n, v); },
                        [&](const std::string& n, int32_t v) { IniFile.WriteInteger(section, n, v); }});
}

// A missing text reads as empty (so the converters' defaults apply); a
// missing integer fails the load.
void TCustomComPort::LoadRegistry(TRegistry& Reg)
{
    LoadValues(*this, {[&](const std::string& n, const std::string&) { return Reg.ReadString(n); },
                       [&](const std::string& n, int32_t) { return Reg.ReadInteger(n); }});
}

void TCustomComPort::LoadIniFile(TIniFile& IniFile)
{
    const std::string section = Name();
    LoadValues(*this,
               {[&](const std::string& n, const std::string& def) { return IniFile.ReadString(section, n, def); },
                [&](const std::string& n, int32_t def) { return IniFile.ReadInteger(section, n, def); }});
}
