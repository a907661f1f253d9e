#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "platform/window_view.h"

namespace ordex {

// The controls of the main window whose text changes: the seven value text boxes and the two
// status labels, in the order the layout numbers them.
enum class Control : std::size_t {
  txtASCIDriverVersion,
  txtRobotController,
  txtBasisrelease,
  txtComputerName,
  txtIPOTime,
  txtExAxNum,
  txtASCIISensor,
  Changes,
  RefreshNo,
};

constexpr std::size_t ControlIndex(Control control) { return static_cast<std::size_t>(control); }

inline constexpr std::string_view kWindowCaption = "ORDEX";
inline constexpr std::string_view kChangesInitial = "Changes since start";
inline constexpr std::string_view kRefreshNoInitial = "0";

// Row by row, in the order of the text boxes in Control.
inline constexpr std::array<FormRow, 7> kForm1Rows = {{
    {"lbASCIIDriverVersion", "ASCII Driver Version:", 1695, 120},
    {"lbRobotController", "Robot Controller:", 1815, 480},
    {"lbBasisrelease", "Basisrelease Version:", 1815, 840},
    {"lbComputerName", "Computer Name:", 1815, 1200},
    {"lbIPO_Time", "IPO-Time:", 1815, 1560},
    {"lbExAxNum", "Number of external Axes:", 1815, 1920},
    {"lbASCISensor", "ASCII-Sensor:", 1815, 2280},
}};

inline constexpr std::array<StatusLabel, 2> kForm1Status = {{
    {"Changes", kChangesInitial, 240, 2175},
    {"RefreshNo", kRefreshNoInitial, 2520, 1455},
}};

// The main window `Form1` as designed, in twips.
inline constexpr FormLayout kForm1Layout = {
    .caption = kWindowCaption,
    .client_width = 4365,
    .client_height = 3555,
    .label_left = 240,
    .label_height = 255,
    .label_drop = 120,
    .text_box_left = 2280,
    .text_box_width = 1695,
    .text_box_height = 285,
    .rows = kForm1Rows,
    .status_top = 2880,
    .status_height = 255,
    .status = kForm1Status,
};

static_assert(ControlIndex(Control::txtASCIISensor) + 1 == kForm1Rows.size());
static_assert(ControlIndex(Control::Changes) == kForm1Rows.size());
static_assert(ControlIndex(Control::RefreshNo) + 1 == kForm1Layout.control_count());

}  // namespace ordex
