#include "vrhost/accuracy/pose_csv_writer.h"

#include "vrhost/accuracy/truth_comparison.h"
#include "vrhost/host/host_error.h"
#include "vrhost/host/text_format.h"

namespace vrhost {

const char* cPoseCsvWriter::HeaderLine() {
    return "host_time,device_index,serial,pose_is_valid,result,device_is_connected,"
           "pos_x,pos_y,pos_z,rot_w,rot_x,rot_y,rot_z,"
           "world_pos_x,world_pos_y,world_pos_z,world_rot_w,world_rot_x,world_rot_y,world_rot_z,"
           "pose_time_offset,vel_x,vel_y,vel_z,ang_vel_x,ang_vel_y,ang_vel_z,"
           "truth_pos_x,truth_pos_y,truth_pos_z,truth_rot_w,truth_rot_x,truth_rot_y,truth_rot_z,"
           "pos_err_mm,ori_err_deg";
}

cPoseCsvWriter::cPoseCsvWriter(const std::filesystem::path& file) : mOut(file, std::ios::binary), mPath(file) {
    if (!mOut) throw cHostError("cannot create pose file " + file.u8string());
    mOut << HeaderLine() << '\n';
}

void cPoseCsvWriter::Write(const sPoseUpdate& update, const std::string& serial) {
    const vr::DriverPose_t& p = update.pose;
    const sWorldPose& w = update.world;
    std::string row;
    row.reserve(320);
    auto add = [&row](const std::string& field) {
        row += field;
        row += ',';
    };
    add(FormatNumber(update.hostTime));
    add(std::to_string(update.deviceIndex));
    // Serials never contain commas in practice; quote only if one does.
    add(serial.find_first_of(",\"\n") == std::string::npos ? serial : QuoteText(serial));
    add(p.poseIsValid ? "1" : "0");
    add(std::to_string(static_cast<int>(p.result)));
    add(p.deviceIsConnected ? "1" : "0");
    for (double v : p.vecPosition) add(FormatNumber(v));
    add(FormatNumber(p.qRotation.w));
    add(FormatNumber(p.qRotation.x));
    add(FormatNumber(p.qRotation.y));
    add(FormatNumber(p.qRotation.z));
    for (double v : w.position) add(FormatNumber(v));
    for (double v : w.rotation) add(FormatNumber(v));
    add(FormatNumber(p.poseTimeOffset));
    for (double v : p.vecVelocity) add(FormatNumber(v));
    for (double v : p.vecAngularVelocity) add(FormatNumber(v));
    sWorldPose truth;
    if (mTruth != nullptr && p.poseIsValid && mTruth->TruthOfUpdate(serial, update, truth)) {
        for (double v : truth.position) add(FormatNumber(v));
        for (double v : truth.rotation) add(FormatNumber(v));
        add(FormatNumber(PositionError(w, truth) * 1000.0));
        add(FormatNumber(OrientationError(w, truth) * 57.29577951308232));
    } else {
        row.append(9, ',');
    }
    row.back() = '\n';
    mOut << row;
}

void cPoseCsvWriter::Flush() { mOut.flush(); }

}  // namespace vrhost
