// The headset IMU interface's sensor input report (id 1) as it arrives on the
// wire: little-endian, packed, 381 bytes. One report carries four IMU samples.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halvex::wmr {

constexpr uint16_t kImuVendorId = 0x045E;
constexpr uint16_t kImuProductId = 0x0659;
constexpr uint8_t kSensorReportId = 1;
constexpr int kSamplesPerReport = 4;
constexpr int kGyroReadingsPerSample = 8;

#pragma pack(push, 1)
struct sWmrInputReport_Sensors {
    uint8_t id;
    uint16_t temperature[4];
    uint64_t timestampGyro[4];  // 100 ns ticks of the headset clock
    int16_t gyroX[32];          // sample i: entries 8i..8i+7
    int16_t gyroY[32];
    int16_t gyroZ[32];
    uint64_t timestampAcc[4];
    int32_t accX[4];
    int32_t accY[4];
    int32_t accZ[4];
    uint64_t timestampMag[4];
    int16_t magX[4];
    int16_t magY[4];
    int16_t magZ[4];
    uint32_t sensorStateA[2];
    uint32_t sensorStateB[1];
};
#pragma pack(pop)

static_assert(sizeof(sWmrInputReport_Sensors) == 381, "the sensor report is 381 bytes");
static_assert(offsetof(sWmrInputReport_Sensors, id) == 0, "id");
static_assert(offsetof(sWmrInputReport_Sensors, temperature) == 1, "temperature");
static_assert(offsetof(sWmrInputReport_Sensors, timestampGyro) == 9, "timestampGyro");
static_assert(offsetof(sWmrInputReport_Sensors, gyroX) == 41, "gyroX");
static_assert(offsetof(sWmrInputReport_Sensors, gyroY) == 105, "gyroY");
static_assert(offsetof(sWmrInputReport_Sensors, gyroZ) == 169, "gyroZ");
static_assert(offsetof(sWmrInputReport_Sensors, timestampAcc) == 233, "timestampAcc");
static_assert(offsetof(sWmrInputReport_Sensors, accX) == 265, "accX");
static_assert(offsetof(sWmrInputReport_Sensors, accY) == 281, "accY");
static_assert(offsetof(sWmrInputReport_Sensors, accZ) == 297, "accZ");
static_assert(offsetof(sWmrInputReport_Sensors, timestampMag) == 313, "timestampMag");
static_assert(offsetof(sWmrInputReport_Sensors, magX) == 345, "magX");
static_assert(offsetof(sWmrInputReport_Sensors, magY) == 353, "magY");
static_assert(offsetof(sWmrInputReport_Sensors, magZ) == 361, "magZ");
static_assert(offsetof(sWmrInputReport_Sensors, sensorStateA) == 369, "sensorStateA");
static_assert(offsetof(sWmrInputReport_Sensors, sensorStateB) == 377, "sensorStateB");

constexpr size_t kSensorReportSize = sizeof(sWmrInputReport_Sensors);

// Copies a sensor report out of `bytes`. False, leaving `report` alone, when the
// bytes are not a sensor report (another id) or too few to hold one.
bool ReadSensorReport(const uint8_t* bytes, size_t length, sWmrInputReport_Sensors& report);

}  // namespace halvex::wmr
