int quern_placeholder;
