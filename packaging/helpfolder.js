// Custom action of the installer packages: HELPFOLDER holds an installer folder
// path, which always ends with a backslash; the type library's HELPDIR has none.
function TrimHelpFolder() {
    Session.Property("HELPFOLDER") = Session.Property("HELPFOLDER").replace(/\\+$/, "");
    return 1; // success
}
