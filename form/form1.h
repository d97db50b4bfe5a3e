// Form1: the program's only window. It owns the five roster columns and the
// fourteen controls from its creation to the end of the run; its handlers
// are defined where their subsystem lives:
//   form/form1.cpp    layout, Form_Load, Command2_Click, Command3_Click
//   roster/roster.cpp xing111, zhun111, shen111 (the roster load)
//   query/query.cpp   Command1_Click (the score query)
#pragma once

#include "form/toolkit.h"
#include "roster/roster.h"

extern const tk::FormLayout FORM1_LAYOUT;

class Form1 : public tk::Form {
public:
    Form1();

    // Fixed when the form is made, from the roster the program file carries.
    const int ROSTER_ROWS;   // candidates, in rows 1 to ROSTER_ROWS
    const int ROSTER_UPPER;  // highest index of every column: ROSTER_ROWS + 11

    // Roster columns, rows 1 to ROSTER_ROWS.
    Column zhun{ROSTER_UPPER};     // admission-ticket numbers
    Column shen{ROSTER_UPPER};     // identity-card numbers
    Column xing{ROSTER_UPPER};     // names
    Column chengji{ROSTER_UPPER};  // score texts
    Column beizhu{ROSTER_UPPER};   // remarks

    // Controls, from the top of the window down.
    tk::Label Label3{label("Label3")};
    tk::Label Label5{label("Label5")};
    tk::Label Label1{label("Label1")};
    tk::TextBox Text1{textBox("Text1")};
    tk::Label Label2{label("Label2")};
    tk::TextBox Text2{textBox("Text2")};
    tk::Label Label6{label("Label6")};
    tk::TextBox Text3{textBox("Text3")};
    tk::CommandButton Command1{commandButton("Command1")};
    tk::Label Label7{label("Label7")};
    tk::TextBox Text4{textBox("Text4")};
    tk::CommandButton Command2{commandButton("Command2")};
    tk::CommandButton Command3{commandButton("Command3")};
    tk::Label Label8{label("Label8")};

    // Event handlers.
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

    // Roster load.
    void xing111();
    void zhun111();
    void shen111();
};
