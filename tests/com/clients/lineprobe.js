// A late-binding host in JScript: creates the check object by its ProgID, puts a
// value of each kind into the properties and prints what comes back.
function show(name, value) {
    var type = typeof value;
    var text = (type == "string" || type == "number" || type == "boolean") ? " " + value : "";
    WScript.Echo(name + ": " + type + text);
}

var probe = new ActiveXObject("comlineprobe.lineprobeCom");
show("new ec_hostname", probe.ec_hostname);
show("new ec_timeout", probe.ec_timeout);
show("new ec_parameter", probe.ec_parameter);
show("new ec_result", probe.ec_result);

probe.ec_hostname = "server01";
show("ec_hostname", probe.ec_hostname);
probe.ec_timeout = 30;
show("ec_timeout", probe.ec_timeout);
probe.ec_parameter = "#LOGFILE=c:\\status.txt#USER=#PW=#UP=OK#DOWN=FAIL#";
show("ec_parameter", probe.ec_parameter);
probe.ec_result = false;
show("ec_result", probe.ec_result);
probe.ec_result = null;
show("ec_result", probe.ec_result);

var other = new ActiveXObject("comlineprobe.lineprobeCom");
show("second object ec_hostname", other.ec_hostname);
other.ec_hostname = "server02";
show("first object ec_hostname", probe.ec_hostname);

probe.ec_parameter = other;
show("ec_parameter set to an object", probe.ec_parameter);
WScript.Echo("same object: " + (probe.ec_parameter == other));
other.ec_timeout = 60;
show("through ec_parameter", probe.ec_parameter.ec_timeout);
