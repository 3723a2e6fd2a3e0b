// The interfaces of an album in the profile's order: the first that gives a
// readable first page lists the album's pictures. The album keeps the folder,
// record and pacing of its kind (a board album's are the list's, a thread's
// the guide's) whichever interface lists it and in whatever order, so that
// a second run through another interface finds the pictures of the first.
#include <string>
#include <vector>

#include "discovery/album_retrieval.h"
#include "download/album_pipeline.h"
#include "runtime/gbk.h"
#include "shell/service_profile.h"

namespace download {
namespace {

using rt::operator""_gbk;

struct Interface {
  std::string_view name;  // as [order] names it
  StrategyMaker make;
};

constexpr Interface kInterfaces[] = {
    {"list", &ListPages},
    {"guide", &GuidePages},
    {"picpage", &PicpagePages},
};

const Interface* Find(std::string_view name) {
  for (const Interface& interface : kInterfaces) {
    if (interface.name == name) return &interface;
  }
  return nullptr;
}

class OrderedStrategy : public PagingStrategy {
 public:
  OrderedStrategy(RunContext& run, const SelectionItem& album, const rt::Text& safe_id)
      : run_(run), album_(album), safe_id_(safe_id) {
    const discovery::AlbumSource& source = run.snapshot.source;
    const shell::ServiceProfile& profile = run.snapshot.profile;
    const std::vector<std::string> names =
        shell::OrderOf(source.guide ? profile.order_thread : profile.order_album);
    for (const std::string& name : names) {
      const Interface* interface = Find(name);
      // The list is asked at its base address, which only a board names.
      if (interface == nullptr || (name == "list" && source.list_base_address.empty())) continue;
      order_.push_back(interface);
    }
    // An order that leaves no interface this album can be asked by still
    // asks the first it names, whose unread pages then tell the trouble.
    if (order_.empty()) {
      const Interface* first = Find(names[0]);
      order_.push_back(first != nullptr ? first : &kInterfaces[0]);
    }
    current_ = order_[0]->make(run, album, safe_id);
    layout_ = (source.guide ? &GuidePages : &ListPages)(run, album, safe_id);
  }

  AlbumStyle Style() const override { return layout_->Style(); }

  // What the first interface asks before its pages (the list's total) is
  // asked once, as its first page is, while another may stand in.
  AlbumFacts Begin() override {
    run_.first_of_several = order_.size() > 1;
    facts_ = current_->Begin();
    run_.first_of_several = false;
    Laid(facts_);
    return facts_;
  }

  std::optional<PicturePage> Next() override {
    while (true) {
      run_.first_of_several = !answered_ && at_ + 1 < order_.size();
      std::optional<PicturePage> page = current_->Next();
      run_.first_of_several = false;
      if (!page || page->readable || answered_ || at_ + 1 >= order_.size()) {
        answered_ = answered_ || (page && page->readable);
        return page;
      }
      // The interface gave no readable first page: the next one is asked
      // for the album, into the same folder.
      const Interface& from = *order_[at_];
      const Interface& to = *order_[++at_];
      run_.Emit(AlbumNote{discovery::InterfaceShown(from.name) + "接口没有答复可读的图片列表，改用"_gbk +
                          discovery::InterfaceShown(to.name) + "接口\r\n\r\n"_gbk});
      current_ = to.make(run_, album_, safe_id_);
      const int64_t maximum = current_->Begin().bar_maximum;
      if (maximum != facts_.bar_maximum) run_.Emit(BarReset{maximum});
    }
  }

  // Ahead only once the interface has answered: a first page that may
  // still hand the album to the next one is asked at its turn.
  std::optional<PicturePage> Ahead() override {
    return answered_ ? current_->Ahead() : std::nullopt;
  }

  Progress ProgressOf(const PictureEntry& entry) const override {
    return current_->ProgressOf(entry);
  }
  int64_t NotAsked() const override { return current_->NotAsked(); }
  int64_t PagesLost() const override { return current_->PagesLost(); }

 private:
  RunContext& run_;
  const SelectionItem& album_;
  const rt::Text safe_id_;
  std::vector<const Interface*> order_;
  size_t at_ = 0;
  bool answered_ = false;  // a page of the current interface was readable
  // The album's folder, names and opening line, as its kind lays it out.
  void Laid(AlbumFacts& facts) const {
    const AlbumFacts laid = run_.snapshot.source.guide ? ThreadAlbumFacts(run_, album_, safe_id_, 0)
                                                       : ListAlbumFacts(run_, album_, safe_id_, 0);
    facts.folder = laid.folder;
    facts.folder_name = laid.folder_name;
    facts.opening_line = laid.opening_line;
  }

  AlbumFacts facts_;
  std::unique_ptr<PagingStrategy> current_;
  std::unique_ptr<PagingStrategy> layout_;  // the album kind's interface, never asked
};

}  // namespace

std::unique_ptr<PagingStrategy> OrderedPages(RunContext& run, const SelectionItem& album,
                                             const rt::Text& safe_id) {
  return std::make_unique<OrderedStrategy>(run, album, safe_id);
}

}  // namespace download
