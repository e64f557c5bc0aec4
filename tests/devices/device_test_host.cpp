#include "device_test_host.h"

#include "core/driver_log.h"
#include "core/host_interfaces.h"

namespace halvex::test {

namespace {

void WriteVector3(cFakeProperties& properties, vr::ETrackedDeviceProperty prop, float x, float y, float z) {
    vr::HmdVector3_t value{{x, y, z}};
    vr::PropertyWrite_t write{};
    write.prop = prop;
    write.writeType = vr::PropertyWrite_Set;
    write.unTag = vr::k_unHmdVector3PropertyTag;
    write.pvBuffer = &value;
    write.unBufferSize = sizeof(value);
    properties.WritePropertyBatch(cScriptedImuBuffer::kContainer, &write, 1);
}

}  // namespace

sDeviceTestHost& sDeviceTestHost::Instance() {
    // Never destroyed: device threads of a failed test may still reach for it at exit.
    static sDeviceTestHost* host = [] {
        auto* created = new sDeviceTestHost();
        created->context.mInterfaces[vr::IVRDriverLog_Version] = &created->log;
        created->context.mInterfaces[vr::IVRProperties_Version] = &created->properties;
        created->context.mInterfaces[vr::IVRServerDriverHost_Version] = &created->serverDriverHost;
        created->context.mInterfaces[vr::IVRIOBuffer_Version] = &created->imu;
        // Refused for the interfaces a device never uses; the context is kept all the same.
        halvex::host::InitServerDriverContext(&created->context);
        halvex::InstallDriverLogSink(&created->log);
        created->properties.SetString(1000 + vr::k_unTrackedDeviceIndex_Hmd, vr::Prop_SerialNumber_String,
                                      "LHR-TEST0001");
        return created;
    }();
    return *host;
}

void sDeviceTestHost::Reset() {
    serverDriverHost.Clear();
    imu.Clear();
    SetImuCalibration({1, 1, 1}, {1, 1, 1});
}

void sDeviceTestHost::SetImuCalibration(const std::array<float, 3>& accelScale, const std::array<float, 3>& gyroScale) {
    WriteVector3(properties, vr::Prop_ImuFactoryAccelerometerBias_Vector3, 0, 0, 0);
    WriteVector3(properties, vr::Prop_ImuFactoryGyroBias_Vector3, 0, 0, 0);
    WriteVector3(properties, vr::Prop_ImuFactoryAccelerometerScale_Vector3, accelScale[0], accelScale[1], accelScale[2]);
    WriteVector3(properties, vr::Prop_ImuFactoryGyroScale_Vector3, gyroScale[0], gyroScale[1], gyroScale[2]);
}

}  // namespace halvex::test
