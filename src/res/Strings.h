// Every text the user sees in the GUI: captions, tab texts, dialog texts and
// the Help window's passages. Code elsewhere refers to these names only, so a
// wording change is made here once.
#pragma once

#include <QLatin1StringView>

namespace vellumix::res {

// Message boxes. Refusals ("No Data Available!") carry the exclamation icon,
// unsupported formats and unreadable files the stop icon, both under the error
// caption; information boxes use the plain caption.
inline constexpr QLatin1StringView kErrorCaption{"ERROR - Vellumix Function Demo"};
inline constexpr QLatin1StringView kInfoCaption{"Vellumix Function Demo"};

// Application and main frame. The title is the window's whole title: no
// document name is added to it.
inline constexpr QLatin1StringView kAppTitle{"VellumixDemo"};
inline constexpr QLatin1StringView kFrameTitle{"Signature Capture V1.0"};
// Where the profile (its list of recent files) is kept.
inline constexpr QLatin1StringView kProfileKey{"Local AppWizard-Generated Applications"};
inline constexpr QLatin1StringView kMenuFile{"&File"};
inline constexpr QLatin1StringView kMenuExit{"E&xit"};
inline constexpr QLatin1StringView kMenuHelp{"&Help"};
inline constexpr QLatin1StringView kMenuAbout{"&About Quillet Demo"};
inline constexpr QLatin1StringView kMenuHelpItem{"&Help"};
inline constexpr QLatin1StringView kStatusReady{"Ready"};
// The status bar while a pad whose link failed is looked for, and once it
// answered again (%1: "USB" or "COM3").
inline constexpr QLatin1StringView kPadDisconnected{"Pad disconnected: waiting for it to return"};
inline constexpr QLatin1StringView kPadReturned{"Pad connected on %1"};
inline constexpr QLatin1StringView kUsbLinkName{"USB"};
// The status bar after an action whose pad commands went wrong, until the
// next action (%1: the commands, "DrawLine" or "FillRectangle, DrawLine"),
// and before it when a pattern ended early (%1: the button's caption).
inline constexpr QLatin1StringView kPadRefused{"The pad refused %1"};
inline constexpr QLatin1StringView kPadDidNotAnswer{"The pad did not answer %1"};
inline constexpr QLatin1StringView kPadNotConnected{
    "The pad is not connected: %1 did not reach it"};
inline constexpr QLatin1StringView kCommandListSeparator{", "};
inline constexpr QLatin1StringView kSentenceSeparator{". "};
inline constexpr QLatin1StringView kPatternStoppedEarly{"%1 stopped early"};
// While a picture or a signature file is on its way to the pad (%1: the
// share sent, in percent), and while a page change or the window's close
// waits for the pad to finish what it was sent.
inline constexpr QLatin1StringView kSendingPicture{"Sending the picture to the pad: %1%"};
inline constexpr QLatin1StringView kSendingFile{"Sending the file to the pad: %1%"};
inline constexpr QLatin1StringView kWaitingToChangePage{
    "Waiting for the pad to finish before changing the page"};
inline constexpr QLatin1StringView kWaitingToClose{"Waiting for the pad to finish before closing"};
// The pad's commands as the status bar names them.
inline constexpr QLatin1StringView kCmdFillRectangle{"FillRectangle"};
inline constexpr QLatin1StringView kCmdDrawFrame{"DrawFrame"};
inline constexpr QLatin1StringView kCmdDrawLine{"DrawLine"};
inline constexpr QLatin1StringView kCmdDrawCharacter{"DrawCharacter"};
inline constexpr QLatin1StringView kCmdSetFillColor{"SetFillColor"};
inline constexpr QLatin1StringView kCmdSetTextColor{"SetTextColor"};
inline constexpr QLatin1StringView kCmdSetLineColor{"SetLineColor"};
inline constexpr QLatin1StringView kCmdSetFont{"SetFont"};
inline constexpr QLatin1StringView kCmdSetTextMode{"SetTextMode"};
inline constexpr QLatin1StringView kCmdDisplayImage{"DisplayImage"};
inline constexpr QLatin1StringView kCmdStartCalibration{"StartCalibration"};
inline constexpr QLatin1StringView kCmdSetCaptureArea{"SetCaptureArea"};
inline constexpr QLatin1StringView kCmdStartCapture{"StartCapture"};
inline constexpr QLatin1StringView kCmdResumeCapture{"ResumeCapture"};
inline constexpr QLatin1StringView kCmdSuspendCapture{"SuspendCapture"};
inline constexpr QLatin1StringView kCmdClearDisplay{"ClearDisplay"};
inline constexpr QLatin1StringView kCmdStopCapture{"StopCapture"};
inline constexpr QLatin1StringView kCmdSendSigFile{"SendSigFile"};
inline constexpr QLatin1StringView kCmdSendCmpFile{"SendCmpFile"};
inline constexpr QLatin1StringView kCmdSendVbcFile{"SendVbcFile"};
inline constexpr QLatin1StringView kCmdSetLedFlags{"SetLedFlags"};
inline constexpr QLatin1StringView kCmdSetLedState{"SetLedState"};
inline constexpr QLatin1StringView kIndicatorCaps{"CAP"};
inline constexpr QLatin1StringView kIndicatorNum{"NUM"};
inline constexpr QLatin1StringView kIndicatorScroll{"SCRL"};

// Connection view: the status text blinks between "Unit not Found" and a
// single space while no pad answers.
inline constexpr QLatin1StringView kConnecting{"Connecting to Unit"};
inline constexpr QLatin1StringView kUnitNotFound{"Unit not Found"};
inline constexpr QLatin1StringView kBlinkBlank{" "};
inline constexpr QLatin1StringView kConnectionTitle{"Signature Capture\nDemo Application"};

// Tab texts of the main view. The padding spaces are part of the texts: the
// tab widths come from them, and "Signature" carries one space more behind it
// than the other two.
inline constexpr QLatin1StringView kTabSignature{"                 Signature                  "};
inline constexpr QLatin1StringView kTabDisplay{"                 Display                 "};
inline constexpr QLatin1StringView kTabImage{"                 Image                 "};

// About box.
inline constexpr QLatin1StringView kAboutTitle{"About Brindle Application"};
inline constexpr QLatin1StringView kAboutProduct{"Signature Capture\nDemo Application"};
inline constexpr QLatin1StringView kAboutVersion{"       Version 1.00"};
inline constexpr QLatin1StringView kAboutNotice{"Demonstration use only"};
inline constexpr QLatin1StringView kOkButton{"OK"};

// Help window. The passages are appended one after the other with no
// separator; each ends with its own CR LF so the next one starts on a new line.
inline constexpr QLatin1StringView kHelpTitle{"Help"};

inline constexpr QLatin1StringView kHelpGeneral{
    "General Information\r\n"
    "\r\n"
    "The Signature Capture Demo Application comes in one package with a "
    "virtual pad and two command-line tools; the last section of this help "
    "says how to install and start them on Linux. The application works with "
    "Quillet signature pads connected either to an RS-232 serial port or to a "
    "USB port; no setting has to be chosen, because the program looks for the "
    "pad by itself.\r\n"
    "\r\n"
    "When the program starts, the connecting window appears and shows the "
    "message \"Connecting to Unit\". The program first asks the USB port and "
    "then each serial port in turn whether a Quillet pad answers. While no pad "
    "is found, the window shows \"Unit Not Found\" and the program keeps "
    "polling; plug in the pad or switch it on and the connection is made "
    "without restarting the program. With no pad at hand, start the virtual "
    "pad (see the last section): the program finds it the same way.\r\n"
    "\r\n"
    "As soon as the pad answers, a welcome screen is drawn on the pad's "
    "display and the demo window opens. The demo window has tabs along its "
    "top; the Signature tab is selected first and the Display tab shows the "
    "drawing tests. Click a tab to change to its page. Each page takes over "
    "the pad's display while it is selected.\r\n"
    "\r\n"
    "On the Signature tab, whatever is written on the pad with its pen appears "
    "at once in the Signature Pad Display Box on the PC, stroke by stroke, as "
    "it is written. The pad is ready to capture when its green LED is lit; "
    "sign in the writing area and watch the signature appear in the box. A "
    "signature can be cleared and written again as often as needed.\r\n"
    "\r\n"
    "If the strokes in the box do not follow the pen closely, calibrate the "
    "pad with the button described below before capturing signatures.\r\n"
    "\r\n"
    "Operation Buttons\r\n"
    "\r\n"
    "Clear the Display\r\n"
    "Erases the signature from the pad's display and from the Signature Pad "
    "Display Box, so that a new signature can be written.\r\n"
    "\r\n"
    "Calibrate Pad\r\n"};

inline constexpr QLatin1StringView kHelpButtons{
    "Starts the calibration of the Quillet pad. A message explains the steps "
    "first; the right LED blinks red while calibration runs. The pad shows two "
    "cross-points one after the other: touch the centre of each cross with "
    "the pen tip, holding the pen as you would when signing. When the right "
    "LED goes off the calibration is complete; click OK to return to signature "
    "capture.\r\n"
    "\r\n"
    "File the Signature\r\n"
    "Saves the signature shown in the box to a file. Type a file name; the "
    "extension chooses the format: .sig, .cmp, .vbc or .nlc for a signature "
    "file, .bmp for a picture of the signature, or .inkml for W3C InkML, which "
    "keeps the time of each point. A name without an extension is saved as a "
    ".sig file.\r\n"
    "\r\n"
    "Get the Signature\r\n"
    "Loads a signature file or a bitmap saved earlier, shows it in the box and "
    "sends it to the pad's display. Choose the file type in the list of the "
    "open dialog, or type the full name of a .vbc or .nlc file.\r\n"
    "\r\n"
    "Exit\r\n"
    "Clears the pad, stops the capture and ends the program. The pad's display "
    "is left blank.\r\n"
    "\r\n"
    "Color Selection\r\n"
    "On the Display tab, chooses the colour in which the tests below draw on "
    "the pad: Black, Red, Yellow, Green or Blue.\r\n"
    "\r\n"
    "Show Frames\r\n"
    "Draws a series of rectangular frames on the pad's display and in the box "
    "on the PC.\r\n"
    "\r\n"
    "Show Lines\r\n"
    "Draws straight lines across the pad's display.\r\n"
    "\r\n"
    "Show Boxes\r\n"
    "Draws filled boxes of several sizes on the pad's display and in the box "
    "on the PC.\r\n"
    "\r\n"
    "Show Characters\r\n"
    "Writes characters in several sizes on the pad's display, in the colour "
    "chosen above.\r\n"
    "\r\n"
    "Cycle the LEDs\r\n"
    "Runs the LED test of the Quillet pad: the green LED is on; then both LEDs "
    "are off for 2 seconds; the red LED is on for 2 seconds; both LEDs are off "
    "for 2 seconds; then the green LED is on again and the pad is ready.\r\n"
    "\r\n"};

inline constexpr QLatin1StringView kHelpImage{
    "Image Tab\r\n"
    "\r\n"
    "Sample Image #1\r\n"
    "Sample Image #2\r\n"
    "Sample Image #3\r\n"
    "Each button shows one of the three built-in pictures full-screen on the "
    "Quillet pad's colour display and in the box on the PC. The picture stays "
    "on the pad until another one is chosen or the display is cleared.\r\n"
    "\r\n"
    "Load Custom Image\r\n"
    "Opens a bitmap (.bmp) or a signature file of your own and shows it on the "
    "pad and on the PC. Bitmaps are fitted to the pad's 320 x 240 display. "
    "Signature files (.sig, .cmp, .vbc or .nlc) are sent to the pad as they "
    "are stored.\r\n"
    "\r\n"
    "Clear Display\r\n"
    "Clears the picture from the pad's display and from the box on the "
    "PC.\r\n"};

// The Linux passage, appended after the three above: how the package is
// installed and the programs started, the virtual pad, and the permissions a
// pad needs on this platform.
inline constexpr QLatin1StringView kHelpLinux{
    "\r\n"
    "Using the Program on Linux\r\n"
    "\r\n"
    "Installing and starting\r\n"
    "Install the package with \"sudo apt install ./vellumix-demo_*.deb\" in the "
    "folder that holds it. It puts vellumix-demo, vellumix-virtual-pad, "
    "vellumix-padctl and vellumix-sigconv in /usr/bin, each with a manual page "
    "(\"man vellumix-demo\"), and adds Vellumix Demo and Vellumix Virtual Pad to "
    "the desktop's menu. Start the program from the menu, or with "
    "\"vellumix-demo\" in a terminal. Built from source, the programs are in the "
    "build folder's bin folder (build/default/bin) and run from there.\r\n"
    "\r\n"
    "Trying it without a pad\r\n"
    "Vellumix Virtual Pad is a Quillet pad in software: its window shows the "
    "pad's display and LEDs, and the mouse is its pen. Start it from the menu, "
    "or with \"vellumix-virtual-pad &\" in a terminal, before or after the "
    "program: the program finds it as it finds a pad on a serial port. The "
    "window's title names the port the virtual pad took, such as COM1; "
    "\"vellumix-virtual-pad --com 3\" chooses COM3.\r\n"
    "\r\n"
    "USB pads\r\n"
    "The package installs the udev rule 70-vellumix-pad.rules in "
    "/usr/lib/udev/rules.d. It gives the user at the computer access to the "
    "Quillet pad's hidraw device, so the program needs no root rights. After "
    "installing the package, unplug the pad and plug it in again (or run "
    "\"sudo udevadm control --reload\" and \"sudo udevadm trigger\") so the "
    "rule takes effect. When the program was built from source, copy "
    "packaging/udev/70-vellumix-pad.rules to /etc/udev/rules.d.\r\n"
    "A pad may carry its maker's USB ids rather than 1209:0001. Find them with "
    "\"lsusb\" or \"vellumix-padctl list\", then start the program with "
    "\"vellumix-demo --usb-id VID:PID\" (or set VELLUMIX_USB_ID, or UsbId under "
    "[Pad] in the program's profile), and install the rule that "
    "\"vellumix-padctl udev-rule VID:PID\" prints.\r\n"
    "\r\n"
    "Serial pads\r\n"
    "Serial ports (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*) belong to the "
    "dialout group. Add yourself to it with \"sudo usermod -aG dialout $USER\", "
    "then log out and in again. The ports are tried as COM0 to COM9; "
    "vellumix-padctl --port PATH reaches a port by its device path.\r\n"};

// Display page: captions of its controls and the colour box entries, in list
// order. The radio groups are never shown but keep their captions.
inline constexpr QLatin1StringView kDisplayGroup{"Display"};
inline constexpr QLatin1StringView kShowLines{"Show Lines"};
inline constexpr QLatin1StringView kShowBoxes{"Show Boxes"};
inline constexpr QLatin1StringView kShowFrames{"Show Frames"};
inline constexpr QLatin1StringView kCycleLeds{"Cycle the LEDs"};
inline constexpr QLatin1StringView kShowCharacters{"Show Characters"};
inline constexpr QLatin1StringView kColorLabel{"Color:"};
inline constexpr QLatin1StringView kColorBlack{"Black"};
inline constexpr QLatin1StringView kColorRed{"Red"};
inline constexpr QLatin1StringView kColorYellow{"Yellow"};
inline constexpr QLatin1StringView kColorGreen{"Green"};
inline constexpr QLatin1StringView kColorBlue{"Blue"};
inline constexpr QLatin1StringView kBackgroundColorGroup{"Background Color"};
inline constexpr QLatin1StringView kTextColorGroup{"Text Color"};
inline constexpr QLatin1StringView kTextSizeGroup{"Text Size"};
inline constexpr QLatin1StringView kTextSizeSmall{"small"};
inline constexpr QLatin1StringView kTextSizeMedium{"medium"};
inline constexpr QLatin1StringView kTextSizeLarge{"large"};

// Image page. The open dialog's filters are listed in this order, the first
// one selected; .vbc and .nlc files are opened by typing their full name.
inline constexpr QLatin1StringView kImageGroup{"Image"};
inline constexpr QLatin1StringView kSampleImage1{"Sample Image #1"};
inline constexpr QLatin1StringView kSampleImage2{"Sample Image #2"};
inline constexpr QLatin1StringView kSampleImage3{"Sample Image #3"};
inline constexpr QLatin1StringView kLoadCustomImage{"Load Custom Image"};
inline constexpr QLatin1StringView kClearDisplay{"Clear Display"};
inline constexpr QLatin1StringView kImageFilterSig{"Signature(*.sig)"};
inline constexpr QLatin1StringView kImageFilterCmp{"Signature(*.cmp)"};
inline constexpr QLatin1StringView kImageFilterBmp{"Signature(*.bmp)"};
inline constexpr QLatin1StringView kImageUnsupportedFormat{"Unsupported file format"};
inline constexpr QLatin1StringView kImageInvalidFileSize{
    "Invalid file size. File cannot be loaded."};
inline constexpr QLatin1StringView kImageCannotRead{"Cannot read the file"};
// The signature-file commands carry at most 69,990 bytes; a larger file is
// still decoded and drawn on the PC.
inline constexpr QLatin1StringView kImageTooLargeForPad{
    "The file is too large for the pad and was not sent. It is shown on the PC only."};

// Signature page: the group caption keeps its trailing space. The file
// commands share the Image page's filters and its load messages above
// (kImageFilter*, kImageUnsupportedFormat, kImageInvalidFileSize,
// kImageCannotRead, kImageTooLargeForPad).
inline constexpr QLatin1StringView kSignatureGroup{"Signature "};
inline constexpr QLatin1StringView kClearTheDisplay{"Clear the Display"};
inline constexpr QLatin1StringView kCalibratePad{"Calibrate Pad"};
inline constexpr QLatin1StringView kFileTheSignature{"File the Signature"};
inline constexpr QLatin1StringView kGetSignatureFile{"Get Signature File"};
inline constexpr QLatin1StringView kSignatureExit{"Exit"};
inline constexpr QLatin1StringView kCalibrationInfo{
    "The Right LED will blink Red during calibration. \nClick on OK after the Right LED off."};
inline constexpr QLatin1StringView kSaveSuffix{"sig"};
inline constexpr QLatin1StringView kNoDataAvailable{"No Data Available!"};
// Two refusals that differ in their last character: too many points before
// the dialog, an encoder that cannot represent the points after it.
inline constexpr QLatin1StringView kTooManyPointsToSave{"Signature is too large. Cannot be saved."};
inline constexpr QLatin1StringView kCannotEncode{"Signature is too large. Cannot be saved!"};
inline constexpr QLatin1StringView kFailedToOpenFile{"Failed to open file!"};
// The new file could not be written in full; the old one is left as it was.
inline constexpr QLatin1StringView kFailedToWriteFile{
    "Failed to write the file! Any earlier file of that name is unchanged."};

}  // namespace vellumix::res
