#include "base/list.h"

#include <cstdlib>
#include <cstring>

struct Node {
    char* text;
    Node* next;
};

List::List() : head_(nullptr), current_(nullptr), tail_(nullptr), count_(0) {}

List::~List()
{
    Node* n = head_;
    while (n != nullptr) {
        Node* following = n->next;
        std::free(n->text);
        delete n;
        n = following;
    }
}

int List::addElem(char const* text)
{
    if (text == nullptr)
        text = "";
    Node* n = new Node;
    size_t len = std::strlen(text) + 1;
    n->text = static_cast<char*>(std::malloc(len));
    if (n->text != nullptr)
        std::memcpy(n->text, text, len);
    n->next = nullptr;
    if (head_ == nullptr) {
        head_ = tail_ = current_ = n;
    } else {
        tail_->next = n;
        tail_ = n;
    }
    ++count_;
    return 0;
}

void List::reset()
{
    current_ = head_;
}

char* List::getItem() const
{
    return current_ != nullptr ? current_->text : nullptr;
}

Node* List::next()
{
    if (current_ != nullptr)
        current_ = current_->next;
    return current_;
}
