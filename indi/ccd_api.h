// The parts of libindi's camera base class whose interface differs between
// INDI 1.9 (Debian 12) and INDI 2.x (Debian 13, KStars/Ekos since 3.7, the
// INDI packages of most observatory computers): the driver derives from
// CcdApi and reaches those parts only through it, so that one driver source
// builds against either. INDI 1.9 keeps a property as a C struct with its
// elements beside it (TemperatureNP and TemperatureN); INDI 2 as a property
// object (TemperatureNP alone), and its keyword writer fills a list of
// records instead of writing into the chip's FITS file.
#pragma once

#include <fitsio.h>
#include <indiapi.h>
#include <indiccd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if INDI_VERSION_MAJOR >= 2
#include <fitskeyword.h>
#endif

namespace stellacq::indi {

class CcdApi : public INDI::CCD {
 protected:
#if INDI_VERSION_MAJOR >= 2
  double temperature() const { return TemperatureNP[0].getValue(); }
  void set_temperature(double celsius) { TemperatureNP[0].setValue(celsius); }
  void set_temperature_range(double min, double max) {
    TemperatureNP[0].setMin(min);
    TemperatureNP[0].setMax(max);
  }
  // Sets the state of CCD_TEMPERATURE and sends it.
  void show_temperature(IPState state) {
    TemperatureNP.setState(state);
    TemperatureNP.apply();
  }
  bool upload_mode(int mode) const { return UploadSP[mode].getState() == ISS_ON; }
  std::string upload_setting(int setting) const {
    const char* text = UploadSettingsTP[setting].getText();
    return text ? text : "";
  }
  void show_file_name(const std::string& path) {
    FileNameTP[0].setText(path.c_str());
    FileNameTP.setState(IPS_OK);
    FileNameTP.apply();
  }
  void set_ccd_info(const char* element, double value) {
    if (auto* number = PrimaryCCD.getCCDInfo().findWidgetByName(element)) number->setValue(value);
  }
  std::string snooped_mount() const { return ActiveDeviceTP[ACTIVE_TELESCOPE].getText(); }
  bool fast_exposure_on() const { return FastExposureToggleSP[INDI_ENABLED].getState() == ISS_ON; }
  double fast_exposure_count() const { return FastExposureCountNP[0].getValue(); }
  void show_fast_exposure_count(double count, IPState state) {
    FastExposureCountNP[0].setValue(count);
    FastExposureCountNP.setState(state);
    FastExposureCountNP.apply();
  }

  // libindi's keywords for a frame of the primary chip, as FITS cards
  // written the way libindi writes them into its own files.
  std::vector<std::string> standard_cards() {
    std::vector<INDI::FITSRecord> records;
    addFITSKeywords(&PrimaryCCD, records);
    return cards_of([&](fitsfile* file, int& status) {
      for (const INDI::FITSRecord& record : records) {
        int key_status = 0;
        switch (record.type()) {
          case INDI::FITSRecord::VOID:
            break;
          case INDI::FITSRecord::COMMENT:
            fits_write_comment(file, record.comment().c_str(), &key_status);
            break;
          case INDI::FITSRecord::STRING:
            fits_update_key_str(file, record.key().c_str(), record.valueString().c_str(),
                                record.comment().c_str(), &key_status);
            break;
          case INDI::FITSRecord::LONGLONG:
            fits_update_key_lng(file, record.key().c_str(), record.valueInt(), record.comment().c_str(),
                                &key_status);
            break;
          case INDI::FITSRecord::DOUBLE:
            fits_update_key_dbl(file, record.key().c_str(), record.valueDouble(), record.decimal(),
                                record.comment().c_str(), &key_status);
            break;
        }
      }
      (void)status;
    });
  }
#else
  double temperature() const { return TemperatureN[0].value; }
  void set_temperature(double celsius) { TemperatureN[0].value = celsius; }
  void set_temperature_range(double min, double max) {
    TemperatureN[0].min = min;
    TemperatureN[0].max = max;
  }
  void show_temperature(IPState state) {
    TemperatureNP.s = state;
    IDSetNumber(&TemperatureNP, nullptr);
  }
  bool upload_mode(int mode) const { return UploadS[mode].s == ISS_ON; }
  std::string upload_setting(int setting) const {
    const char* text = UploadSettingsT[setting].text;
    return text ? text : "";
  }
  void show_file_name(const std::string& path) {
    IUSaveText(&FileNameT[0], path.c_str());
    FileNameTP.s = IPS_OK;
    IDSetText(&FileNameTP, nullptr);
  }
  void set_ccd_info(const char* element, double value) {
    if (INumber* number = IUFindNumber(PrimaryCCD.getCCDInfo(), element)) number->value = value;
  }
  std::string snooped_mount() const { return ActiveDeviceT[ACTIVE_TELESCOPE].text; }
  bool fast_exposure_on() const { return FastExposureToggleS[INDI_ENABLED].s == ISS_ON; }
  double fast_exposure_count() const { return FastExposureCountN[0].value; }
  void show_fast_exposure_count(double count, IPState state) {
    FastExposureCountN[0].value = count;
    FastExposureCountNP.s = state;
    IDSetNumber(&FastExposureCountNP, nullptr);
  }

  // libindi's keywords for a frame of the primary chip: INDI 1.9 writes them
  // into the chip's own FITS file, which is lent to it here.
  std::vector<std::string> standard_cards() {
    // Its DATAMIN/DATAMAX scan reads the chip's buffer as a frame of the
    // chip's size (the cards leave those two out).
    const int bytes =
        PrimaryCCD.getSubW() / PrimaryCCD.getBinX() * (PrimaryCCD.getSubH() / PrimaryCCD.getBinY()) * 2;
    if (PrimaryCCD.getFrameBufferSize() < bytes) {
      PrimaryCCD.setFrameBufferSize(bytes);
      std::memset(PrimaryCCD.getFrameBuffer(), 0, bytes);
    }
    int status = 0;
    if (!PrimaryCCD.openFITSFile(16 * 2880, status)) return {};
    std::vector<std::string> cards;
    fitsfile* file = *PrimaryCCD.fitsFilePointer();
    long axes[2] = {1, 1};
    if (fits_create_img(file, USHORT_IMG, 2, axes, &status) == 0) {
      // INDI 2 says first how the rows lie; the frames are the same on both.
      fits_update_key_str(file, "ROWORDER", "TOP-DOWN", "Row Order", &status);
      addFITSKeywords(&PrimaryCCD);
      cards = read_cards(file);
    }
    PrimaryCCD.closeFITSFile();
    return cards;
  }
#endif

 private:
  static std::vector<std::string> read_cards(fitsfile* file) {
    std::vector<std::string> cards;
    int count = 0, status = 0;
    fits_get_hdrspace(file, &count, nullptr, &status);
    char card[FLEN_CARD];
    for (int i = 1; i <= count && status == 0; ++i)
      if (fits_read_record(file, i, card, &status) == 0) cards.emplace_back(card);
    return cards;
  }

  // The cards `write` puts into an empty image of a FITS file in memory.
  template <typename Write>
  static std::vector<std::string> cards_of(Write write) {
    std::size_t size = 16 * 2880;
    void* memory = std::calloc(size, 1);
    fitsfile* file = nullptr;
    int status = 0;
    std::vector<std::string> cards;
    if (fits_create_memfile(&file, &memory, &size, 2880, std::realloc, &status) == 0) {
      long axes[2] = {1, 1};
      if (fits_create_img(file, USHORT_IMG, 2, axes, &status) == 0) {
        write(file, status);
        cards = read_cards(file);
      }
      int closed = 0;
      fits_close_file(file, &closed);
    }
    std::free(memory);
    return cards;
  }
};

}  // namespace stellacq::indi
